// The outputs written whole, at the end of the run (or before its first
// frame): the state file, run.json, params.toml, lineages.csv, loaded.csv
// and the page, report.html.
#include <unistd.h>


#include "analysis/lineages.h"
#include "experiment/checkpoint.h"
#include "experiment/output.h"
#include "experiment/runinfo.h"
#include "persist/digest.h"
#include "persist/paramfile.h"
#include "persist/statefile.h"
#include "record/census.h"
#include "record/loaded.h"
#include "record/phylogeny.h"
#include "record/stats.h"
#include "report/gather.h"
#include "report/page.h"

using nlohmann::json;

#ifndef TARN_VERSION
#define TARN_VERSION "unknown"
#endif

void (*makePictureOutputs)(const RunInfo& info, const std::string& folder, NamedOutputs* outputs) = nullptr;
bool (*writeGlyphPicture)(const Genome& genome, const std::string& path, std::string* error) = nullptr;

namespace {

// lineages.csv: written when the run ends, from the folder's stats.csv and
// phylogeny.csv, which end before it.
class LineagesOutput : public Output {
 public:
  explicit LineagesOutput(const std::string& folder) : Output(folder + "/lineages.csv"), folder_(folder) {}
  bool begin(const json*, std::string* error) override { return probeWritable(path_, error); }
  bool finish(int64_t, bool, std::string* error) override {
    return writeLineages(folder_ + "/stats.csv", folder_ + "/phylogeny.csv", path_, error);
  }

 private:
  std::string folder_;
};

class StateOutput : public Output {
 public:
  explicit StateOutput(const std::string& path) : Output(path), next_(path + ".next") {}

  bool begin(const json* resumed, std::string* error) override {
    if (!resumed && isSpecialFile(path_)) {
      *error = "cannot write " + path_ + ": a state file must be a regular file (it is replaced whole)";
      return false;
    }
    if (!resumed) return probeWritable(path_, error);
    // The checkpoint's state is world.sav, or world.sav.next when the run
    // stopped between writing the resume file and renaming it into place.
    const std::string want = resumed->at("sha256").get<std::string>();
    std::string have;
    if (!(sha256File(path_.c_str(), &have) && have == want)) {
      if (!(sha256File(next_.c_str(), &have) && have == want) || std::rename(next_.c_str(), path_.c_str()) != 0) {
        *error = path_ + " does not hold the state of its checkpoint";
        return false;
      }
    }
    savedFrame_ = wholeNumber(resumed->at("frame"), 0, INT64_MAX, "a frame");
    return true;
  }
  bool checkpoint(int64_t frame, json* saved, std::string* error) override {
    std::string digest;
    if (!saveState(next_.c_str())) {
      error->clear();  // the save said why
      return false;
    }
    if (!sha256File(next_.c_str(), &digest)) {
      *error = "cannot read back " + next_;
      return false;
    }
    (*saved)["sha256"] = digest;
    (*saved)["frame"] = frame;
    pendingFrame_ = frame;
    return true;
  }
  void commit() override {
    if (std::rename(next_.c_str(), path_.c_str()) == 0) savedFrame_ = pendingFrame_;
  }
  bool finish(int64_t frame, bool, std::string* error) override {
    if (savedFrame_ == frame) return true;  // the last checkpoint wrote this very state
    if (saveState(path_.c_str())) return true;
    error->clear();
    return false;
  }

 private:
  std::string next_;
  int64_t savedFrame_ = -1, pendingFrame_ = -1;
};

using ordered = nlohmann::ordered_json;

ordered countsJson(const StatsRow& row) {
  return {{"frame", row.frame},         {"living", row.living},       {"alive", row.alive},
          {"level", row.level},         {"foodDivisor", row.foodDivisor}, {"liveCells", row.liveCells},
          {"reseeding", row.reseeding}, {"genotypes", row.genotypes}, {"dominant", row.dominant},
          {"mean_age", row.meanAge},    {"mean_energy", row.meanEnergy}};
}

ordered totalsJson(const Tally& t) {
  ordered j = {{"births", t.births}, {"seeded", t.seeded}};
  for (DeathCause c : {DeathCause::Age, DeathCause::Starvation, DeathCause::Contest, DeathCause::Search,
                       DeathCause::Unfit, DeathCause::Cull})
    j[std::string("deaths_") + deathCauseName(c)] = t.deaths[(int)c];
  return j;
}

}  // namespace

ordered runRecordJson(const RunInfo& info, int64_t frame, bool interrupted) {
  const double seconds = info.wallSeconds();
  ordered record = {{"program", "tarn-sim"},
                    {"version", TARN_VERSION},
                    {"command_line", info.commandLine},
                    {"seed", info.seed},
                    {"params", paramsJson(info.rules, true)},
                    {"frames", info.frames},
                    {"frames_run", frame},
                    {"interrupted", interrupted},
                    {"every", info.every},
                    {"checkpoint", info.checkpointEvery},
                    {"start_time", info.startTime},
                    {"wall_seconds", seconds},
                    {"frames_per_second", seconds > 0 ? (double)frame / seconds : 0.0},
                    {"final", countsJson(currentStatsRow(frame))},
                    {"totals", totalsJson(runTally)}};
  if (!info.resumedWith.empty()) record["resumed_with"] = info.resumedWith;
  record["load"] = info.loadFile.empty()
                       ? ordered(nullptr)
                       : ordered{{"file", info.loadFile},
                                 {"bytes", info.loadSha256.empty() ? ordered(nullptr) : ordered(info.loadBytes)},
                                 {"sha256", info.loadSha256.empty() ? ordered(nullptr) : ordered(info.loadSha256)},
                                 {"units", info.loadedUnits < 0 ? ordered(nullptr) : ordered(info.loadedUnits)},
                                 {"warning", info.loadWarning.empty() ? ordered(nullptr) : ordered(info.loadWarning)}};
  return record;
}

namespace {

class RecordOutput : public Output {
 public:
  RecordOutput(const std::string& path, const RunInfo* info) : Output(path), info_(info) {}

  bool begin(const json*, std::string* error) override { return probeWritable(path_, error); }
  bool finish(int64_t frame, bool interrupted, std::string* error) override {
    const ordered record = runRecordJson(*info_, frame, interrupted);
    return writeFileSafely(path_, record.dump(2) + "\n", error);
  }

 private:
  const RunInfo* info_;
};

// params.toml: the run's rules, every parameter, written before the first
// frame so that a folder tells its rules however its run ends. A run refused
// before its first frame takes it away again, as the other outputs go.
class ParamsOutput : public Output {
 public:
  ParamsOutput(const std::string& path, const RunInfo* info) : Output(path), info_(info) {}
  ~ParamsOutput() override {
    if (written_ && !kept_) unlink(path_.c_str());
  }
  bool begin(const json* resumed, std::string* error) override {
    if (resumed && access(path_.c_str(), F_OK) == 0) return kept_ = true;  // the folder's own
    return written_ = writeFileSafely(path_, paramFileText(info_->rules), error);
  }
  void row(const StatsRow&) override { kept_ = true; }
  bool finish(int64_t, bool, std::string*) override { return kept_ = true; }

 private:
  const RunInfo* info_;
  bool written_ = false, kept_ = false;
};

// loaded.csv: written at the run's first checkpoint or at its end, from the
// Units as the census found them when the output began (after startCensus).
class LoadedOutput : public Output {
 public:
  explicit LoadedOutput(const std::string& path) : Output(path) {}

  bool begin(const json* resumed, std::string* error) override {
    // A checkpoint comes after the file was written; one of a runner
    // without it (null) leaves it out.
    if (resumed) return written_ = true;
    text_ = loadedUnitsCsv();
    return probeWritable(path_, error);
  }
  bool checkpoint(int64_t, json*, std::string* error) override { return write(error); }
  bool finish(int64_t, bool, std::string* error) override { return write(error); }

 private:
  bool write(std::string* error) {
    if (written_) return true;
    written_ = writeFileSafely(path_, text_, error);
    return written_;
  }
  std::string text_;
  bool written_ = false;
};

// report.html: gathered from what the other outputs left (so it is the
// last output of a run), with the glyph of the most common genome beside it.
class ReportOutput : public Output {
 public:
  ReportOutput(const std::string& path, const std::string& folder, const RunInfo* info, const ReportFiles& single)
      : Output(path), folder_(folder), info_(info), single_(single) {}

  bool begin(const json*, std::string* error) override {
    return probeWritable(path_, error) && (!writeGlyphPicture || probeWritable(glyphPictureName(path_), error));
  }

  bool finish(int64_t frame, bool interrupted, std::string* error) override {
    ReportSources from;
    from.record = runRecordJson(*info_, frame, interrupted);
    from.page = path_, from.folder = folder_;
    from.save = single_.save, from.stats = single_.stats, from.phylogeny = single_.phylogeny;
    from.phylodiversity = single_.phylodiversity, from.runRecord = single_.record;
    const PictureOptions& p = info_->pictures;
    from.snapshot = p.snapshot, from.plot = p.plot, from.video = p.video, from.framesDir = p.framesDir;
    from.every = info_->every;
    from.program = info_->commandLine.empty() ? "tarn-sim" : info_->commandLine[0];
    from.interrupted = interrupted;
    ReportInput in = gatherReport(from);

    bool written = true;
    if (in.dominantCarriers > 0 && writeGlyphPicture) {
      const std::string glyph = glyphPictureName(path_);
      if (writeGlyphPicture(in.dominant, glyph, error))
        in.dominantGlyph = reportLink(path_, glyph);
      else
        written = false;
    }
    std::string pageError;
    if (!writeFileSafely(path_, renderReport(in), &pageError)) {
      *error = written ? pageError : *error + "; " + pageError;
      return false;
    }
    return written;
  }

 private:
  std::string folder_;
  const RunInfo* info_;
  ReportFiles single_;
};

}  // namespace

std::unique_ptr<Output> makeLineagesOutput(const std::string& folder) {
  return std::make_unique<LineagesOutput>(folder);
}
std::unique_ptr<Output> makeStateOutput(const std::string& path) {
  return std::make_unique<StateOutput>(path);
}
std::unique_ptr<Output> makeRecordOutput(const std::string& path, const RunInfo* info) {
  return std::make_unique<RecordOutput>(path, info);
}
std::unique_ptr<Output> makeParamsOutput(const std::string& path, const RunInfo* info) {
  return std::make_unique<ParamsOutput>(path, info);
}
std::unique_ptr<Output> makeLoadedOutput(const std::string& path) { return std::make_unique<LoadedOutput>(path); }
std::unique_ptr<Output> makeReportOutput(const std::string& path, const std::string& folder, const RunInfo* info,
                                         const ReportFiles& single) {
  return std::make_unique<ReportOutput>(path, folder, info, single);
}
