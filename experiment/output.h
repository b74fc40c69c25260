// The outputs of a headless run. Each output is one small class: it names its
// file, makes sure before the first frame that the file can be written,
// hears every stats row, puts into each checkpoint what it needs to go on,
// and is written when the run ends or is interrupted. Adding an output is
// adding one such class and creating it in the experiment.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "persist/files.h"
#include "experiment/runinfo.h"
#include "record/stats.h"

// The run record as run.json holds it, for a run that ended (or was
// interrupted) after frame, with the world and the census as they stand.
nlohmann::ordered_json runRecordJson(const RunInfo& info, int64_t frame, bool interrupted);

class Output {
 public:
  explicit Output(std::string path) : path_(std::move(path)) {}
  virtual ~Output() = default;
  const std::string& path() const { return path_; }

  // Before the first frame: makes sure the file can be written. resumed is
  // what this output put into the checkpoint the run goes on from, or null
  // for a new run. False, with the reason in *error.
  virtual bool begin(const nlohmann::json* resumed, std::string* error) = 0;
  // Every stats row of the run, as it is written.
  virtual void row(const StatsRow&) {}
  // At a checkpoint of frame: puts everything on the disk and tells in
  // *saved how far it got. commit follows once the resume file is written.
  virtual bool checkpoint(int64_t frame, nlohmann::json* saved, std::string* error) {
    (void)frame, (void)saved, (void)error;
    return true;
  }
  virtual void commit() {}
  // When the run ends or is interrupted after frame; interrupted tells which.
  virtual bool finish(int64_t frame, bool interrupted, std::string* error) = 0;
  // After a finished run has removed its checkpoint: what was kept only to
  // go on from it can go. (Until then a run stopped while it writes its
  // outputs still resumes from it.)
  virtual void checkpointRemoved() {}

 protected:
  std::string path_;
};

// stats.csv: the header and a row every K frames.
std::unique_ptr<Output> makeStatsOutput(const std::string& path, bool inFolder);
// phylogeny.csv: a row as each Unit dies, and one for each Unit alive at the
// end, sorted into id order when the run ends.
std::unique_ptr<Output> makePhylogenyOutput(const std::string& path, bool inFolder);
// genes.csv: the 36 genes' mean, spread and range at every stats row.
std::unique_ptr<Output> makeGenesOutput(const std::string& path, bool inFolder);
// lineages.csv: the Units alive at every stats row, by the major lineage
// they count for, worked out from the folder's stats.csv and phylogeny.csv
// when the run ends (see analysis/lineages.h).
std::unique_ptr<Output> makeLineagesOutput(const std::string& folder);
// phylodiversity.csv, a row at every stats row, and tree.nwk at the end
// (treePath empty: none), from the tree of the living (record/phylodiversity.h).
// The tree starts from the census's living Units, so it is begun after
// startCensus, and told of each arrival after the census.
std::unique_ptr<Output> makePhylodiversityOutput(const std::string& path, bool inFolder, const std::string& treePath);
// loaded.csv (record/loaded.h), written at the first checkpoint or the end.
std::unique_ptr<Output> makeLoadedOutput(const std::string& path);
// world.sav: the state file at the end. It is also the state file of each
// checkpoint: written beside as world.sav.next, and renamed into place only
// once the resume file that goes with it is written.
std::unique_ptr<Output> makeStateOutput(const std::string& path);
// run.json: the run record.
std::unique_ptr<Output> makeRecordOutput(const std::string& path, const RunInfo* info);
// params.toml: the run's rules, every parameter (a parameter file that
// repeats the run with --params).
std::unique_ptr<Output> makeParamsOutput(const std::string& path, const RunInfo* info);

// The picture outputs a run asks for (info.pictures), appended to outputs
// with their names; folder is the experiment folder or empty. Installed by
// a program that has the picture layer; null in one built without it.
using NamedOutputs = std::vector<std::pair<std::string, std::unique_ptr<Output>>>;
extern void (*makePictureOutputs)(const RunInfo& info, const std::string& folder, NamedOutputs* outputs);

// report.html: path is the page (in folder, an experiment folder, or alone
// for --report when folder is empty); single names the files of a run
// without a folder (--save, --stats, ...). It reads what the other outputs
// left, so it is the last output of a run.
struct ReportFiles {
  std::string save, stats, phylogeny, record, phylodiversity;
};
std::unique_ptr<Output> makeReportOutput(const std::string& path, const std::string& folder, const RunInfo* info,
                                         const ReportFiles& single);
// Writes the glyph the window draws for genome as a PNG file at path, for
// the page. Installed by a program that has the picture layer; without it
// the page shows no glyph.
extern bool (*writeGlyphPicture)(const Genome& genome, const std::string& path, std::string* error);
