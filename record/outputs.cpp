#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "persist/digest.h"
#include "persist/paramfile.h"
#include "persist/statefile.h"
#include "record/census.h"
#include "record/checkpoint.h"
#include "record/output.h"
#include "record/runinfo.h"
#include "record/genes.h"
#include "record/lineages.h"
#include "record/phylogeny.h"

using nlohmann::json;

#ifndef TARN_VERSION
#define TARN_VERSION "unknown"
#endif

void (*makePictureOutputs)(const RunInfo& info, const std::string& folder, NamedOutputs* outputs) = nullptr;

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A stream file with a header: created with it on a new run, cut back to the
// checkpoint's length on a resumed one.
class StreamOutput : public Output {
 public:
  StreamOutput(const std::string& path, bool inFolder, const char* header)
      : Output(path), inFolder_(inFolder), header_(header) {}

  bool begin(const json* resumed, std::string* error) override {
    if (resumed) return file_.reopen(path_, wholeNumber(resumed->at("length"), 0, INT64_MAX, "a length"), error);
    if (!file_.create(path_, inFolder_, error)) return false;
    file_.write(header_);
    return true;
  }
  bool checkpoint(int64_t, json* saved, std::string* error) override {
    int64_t length = 0;
    if (!file_.sync(&length)) {
      *error = "writing " + path_ + " failed";
      return false;
    }
    (*saved)["length"] = length;
    return true;
  }
  bool finish(int64_t, bool, std::string* error) override { return file_.finish(error); }

 protected:
  StreamFile file_;
  bool inFolder_;
  const char* header_;
};

class GenesOutput : public StreamOutput {
 public:
  GenesOutput(const std::string& path, bool inFolder) : StreamOutput(path, inFolder, kGenesHeader) {}
  void row(const StatsRow& row) override {
    line_.clear();
    appendGeneRows(line_, row.frame);
    file_.write(line_);
  }

 private:
  std::string line_;
};

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

class StatsOutput : public StreamOutput {
 public:
  StatsOutput(const std::string& path, bool inFolder) : StreamOutput(path, inFolder, kStatsHeader) {}
  void row(const StatsRow& row) override { file_.write(formatStatsRow(row)); }
};

// The rows go, as each Unit dies, to a file beside the target (the
// experiment folder's phylogeny.csv.rows, which a resumed run cuts back and
// continues); when the run ends they are sorted into the target in id order.
// While the folder holds a checkpoint the rows stay, for the resume: a run
// stopped at any moment of its end goes on from it; a finished run removes
// them with the checkpoint, and a run without one at once.
class PhylogenyOutput : public StreamOutput, private SimulationObserver {
 public:
  PhylogenyOutput(const std::string& path, bool inFolder)
      : StreamOutput(path + ".rows", inFolder, ""), target_(path) {}
  ~PhylogenyOutput() override { unsubscribe(this); }

  bool begin(const json* resumed, std::string* error) override {
    if (!resumed && !inFolder_ && isSpecialFile(target_)) {
      // A pipe or a terminal has nothing beside it: the rows wait in a
      // temporary folder.
      const char* folder = std::getenv("TMPDIR");
      const int fd = createTemporaryBeside(std::string(folder && *folder ? folder : "/tmp") + "/tarn-phylogeny",
                                           ".rows", &path_);
      if (fd < 0) {
        *error = "cannot write " + target_ + ": cannot make " + path_ + ": " + std::strerror(errno);
        return false;
      }
      close(fd);
    } else if (!resumed && !probeWritable(target_, error)) {
      return false;
    }
    if (!StreamOutput::begin(resumed, error)) return false;
    subscribe(this);
    return true;
  }
  bool finish(int64_t, bool, std::string* error) override {
    // An interrupted run lists its living Units too: the file is whole as it stands.
    for (int u = 0; u < kMaxUnits; ++u)
      if (units.status[u] == Alive) write(u, -1, DeathCause::Age);
    unsubscribe(this);
    if (!StreamOutput::finish(0, false, error)) return false;
    const bool sorted = sortPhylogeny(path_, target_, error);
    // A checkpoint to go on from needs the rows as they stand.
    const bool checkpointed = inFolder_ && access(resumeFilePath(folderOf(target_)).c_str(), F_OK) == 0;
    if (sorted && !checkpointed) unlink(path_.c_str());
    return sorted;
  }
  void checkpointRemoved() override { unlink(path_.c_str()); }

 private:
  // Each death as it happens, while the dead Unit's lineage and genome are
  // still in place.
  void died(int slot, DeathCause cause) override { write(slot, runningFrame(), cause); }
  void write(int slot, int64_t destroyed, DeathCause cause) {
    line_.clear();
    appendPhylogenyRow(line_, slot, destroyed, cause);
    file_.write(line_);
  }
  std::string target_, line_;
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

}  // namespace

std::unique_ptr<Output> makeStatsOutput(const std::string& path, bool inFolder) {
  return std::make_unique<StatsOutput>(path, inFolder);
}
std::unique_ptr<Output> makePhylogenyOutput(const std::string& path, bool inFolder) {
  return std::make_unique<PhylogenyOutput>(path, inFolder);
}
std::unique_ptr<Output> makeGenesOutput(const std::string& path, bool inFolder) {
  return std::make_unique<GenesOutput>(path, inFolder);
}
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
