// The outputs written as the run goes: a line at every stats row, or as
// each Unit dies (stats.csv, genes.csv, phylogeny.csv, phylodiversity.csv
// and tree.nwk). In an experiment folder each is the file itself, cut back
// to its checkpoint's length by a resumed run.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "experiment/checkpoint.h"
#include "experiment/output.h"
#include "record/census.h"
#include "record/genes.h"
#include "record/phylodiversity.h"
#include "record/phylogeny.h"
#include "units/units.h"

using nlohmann::json;

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

// The rows as they come, like stats.csv: in an experiment folder the file
// itself, cut back to its checkpoint's length by a resumed run. The tree
// goes into each checkpoint whole (a few numbers a node), with the mrca of
// the last row and the count of its changes.
class PhylodiversityOutput : public Output, private SimulationObserver {
 public:
  PhylodiversityOutput(const std::string& path, bool inFolder, const std::string& treePath)
      : Output(path), inFolder_(inFolder), treePath_(treePath) {}
  ~PhylodiversityOutput() override { unsubscribe(this); }

  bool begin(const json* resumed, std::string* error) override {
    if (resumed && resumed->is_null()) {
      absent_ = true;  // the checkpoint's runner had no such file: it stays out
      return true;
    }
    if (resumed) {
      if (!file_.reopen(path_, wholeNumber(resumed->at("length"), 0, INT64_MAX, "a length"), error)) return false;
      tree_.restore(resumed->at("tree"));
      changes_.count = wholeNumber(resumed->at("mrca_changes"), 0, INT64_MAX, "a count of changes");
      const json& last = resumed->at("mrca");
      changes_.any = !last.is_null();
      if (changes_.any) changes_.last = wholeNumber(last, -1, INT64_MAX, "an mrca");
    } else {
      if (!treePath_.empty() && !probeWritable(treePath_, error)) return false;
      if (!file_.create(path_, inFolder_, error)) return false;
      file_.write(kPhylodiversityHeader);
      // The Units of the world as the census found it, in id order.
      std::vector<std::pair<int64_t, int>> start;
      for (int u = 0; u < kMaxUnits; ++u)
        if (units.status[u] == Alive) start.emplace_back(lineage[u].id, u);
      std::sort(start.begin(), start.end());
      for (const auto& [id, slot] : start) tree_.arrive(slot, id, lineage[slot].parent, lineage[slot].origin);
    }
    subscribe(this);
    return true;
  }
  void row(const StatsRow& row) override {
    if (absent_) return;
    const TreeFigures f = tree_.figures();
    file_.write(phylodiversityRow(row.frame, f, changes_.see(f.mrca)));
  }
  bool checkpoint(int64_t, json* saved, std::string* error) override {
    int64_t length = 0;
    if (absent_) return true;
    if (!file_.sync(&length)) {
      *error = "writing " + path_ + " failed";
      return false;
    }
    (*saved)["length"] = length;
    (*saved)["mrca_changes"] = changes_.count;
    (*saved)["mrca"] = changes_.any ? json(changes_.last) : json(nullptr);
    (*saved)["tree"] = tree_.save();
    return true;
  }
  bool finish(int64_t, bool, std::string* error) override {
    unsubscribe(this);
    if (absent_) return true;
    if (!file_.finish(error)) return false;
    return treePath_.empty() || writeFileSafely(treePath_, tree_.newick(), error);
  }

 private:
  // Told after the census, which has given the newcomer its identity.
  void arrived(int slot, Arrival, int) override {
    const Lineage& who = lineage[slot];
    tree_.arrive(slot, who.id, who.parent, who.origin);
  }
  void died(int slot, DeathCause) override { tree_.die(slot); }
  void frameEnded(int64_t) override { tree_.settle(); }

  StreamFile file_;
  bool inFolder_;
  std::string treePath_;
  LivingTree tree_;
  MrcaChanges changes_;
  bool absent_ = false;
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
std::unique_ptr<Output> makePhylodiversityOutput(const std::string& path, bool inFolder, const std::string& treePath) {
  return std::make_unique<PhylodiversityOutput>(path, inFolder, treePath);
}
