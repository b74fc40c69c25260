#include "experiment/experiment.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "experiment/checkpoint.h"
#include "experiment/output.h"
#include "persist/digest.h"
#include "persist/statefile.h"
#include "record/census.h"
#include "units/units.h"

using nlohmann::json;

namespace {

void say(const std::string& message) { std::fprintf(stderr, "tarn-sim: %s\n", message.c_str()); }

std::string utcNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts;
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string duration(double seconds) {
  long s = (long)(seconds + 0.5);
  char text[48];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  else if (s >= 60)
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld s", s);
  return text;
}

const char* signalName(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
  }
  return "a signal";
}

// One runner at a time works in a folder: it holds a lock on the folder
// until it ends. Returns the folder's descriptor, or -1 with the reason.
int lockFolder(const std::string& folder, std::string* error) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open the folder " + folder + ": " + std::strerror(errno);
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = folder + " is in use by another tarn-sim";
    close(fd);
    return -1;
  }
  return fd;
}

// The start of a new run from a state file. A file that cannot be opened is
// an error; one that ends early or holds a bad value loads as far as it
// goes, with a warning (an error under strict).
bool loadStart(const ExperimentOptions& o, RunInfo* info) {
  LoadReport report;
  if (!loadState(o.load.c_str(), &report)) {
    say("cannot read " + o.load + ": " + std::strerror(report.openError));
    return false;
  }
  const std::string problem = loadProblem(o.load, report);
  if (!problem.empty()) {
    if (o.strict) {
      say(problem + " (--strict)");
      return false;
    }
    if (!o.quiet) say("warning: " + problem);
    info->loadWarning = problem;  // run.json keeps it, quiet or not
  }
  // A regular file is named with its size and digest; a pipe (a world
  // unpacked on the fly, say) has neither to give.
  struct stat st;
  info->loadFile = o.load;
  if (stat(o.load.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    info->loadBytes = (int64_t)st.st_size;
    if (!sha256File(o.load.c_str(), &info->loadSha256)) info->loadSha256.clear();
  }
  info->loadedUnits = 0;
  for (int u = 0; u < kMaxUnits; ++u) info->loadedUnits += units.status[u] == Alive;
  return true;
}

// The run is one of the simulation's observers: at the end of every
// info.every-th frame it writes a stats row, which every output hears.
class Experiment : private SimulationObserver {
 public:
  Experiment(const volatile std::sig_atomic_t* stop, bool quiet) : stop_(stop), quiet_(quiet) {}
  ~Experiment() {
    unsubscribe(this);
    outputs_.clear();
    stopCensus();
    if (madeFolder_) rmdir(folder_.c_str());  // only a folder left empty goes
    if (folderLock_ >= 0) close(folderLock_);
  }

  RunInfo info;

  // Takes the experiment folder for this run alone.
  bool takeFolder(const std::string& folder, bool made) {
    folder_ = folder;
    madeFolder_ = made;
    std::string error;
    folderLock_ = lockFolder(folder, &error);
    if (folderLock_ < 0) say(error);
    return folderLock_ >= 0;
  }
  // The outputs of the experiment folder; world.sav comes first.
  void addFolderOutputs() {
    const std::string& folder = folder_;
    add("world.sav", makeStateOutput(folder + "/world.sav"));
    add("stats.csv", makeStatsOutput(folder + "/stats.csv", true));
    add("phylogeny.csv", makePhylogenyOutput(folder + "/phylogeny.csv", true));
    add("genes.csv", makeGenesOutput(folder + "/genes.csv", true));
    add("phylodiversity.csv", makePhylodiversityOutput(folder + "/phylodiversity.csv", true, folder + "/tree.nwk"));
    if (!info.loadFile.empty()) add("loaded.csv", makeLoadedOutput(folder + "/loaded.csv"));
    add("lineages.csv", makeLineagesOutput(folder));
    add("run.json", makeRecordOutput(folder + "/run.json", &info));
    add("params.toml", makeParamsOutput(folder + "/params.toml", &info));
  }
  // The pictures the run asks for, after the files they are drawn from.
  bool addPictureOutputs() {
    if (!info.pictures.any()) return true;
    if (!makePictureOutputs) {
      say("this tarn-sim is built without pictures, and the run asks for them");
      return false;
    }
    NamedOutputs pictures;
    makePictureOutputs(info, folder_, &pictures);
    for (auto& [name, output] : pictures) {
      names_.push_back(name);
      outputs_.push_back(std::move(output));
    }
    return true;
  }
  // The page that shows them all: it reads what the others wrote, so it
  // comes last. path empty: no page (a run without --out or --report).
  void addReportOutput(const std::string& path, const ReportFiles& single) {
    if (!path.empty()) add("report.html", makeReportOutput(path, folder_, &info, single));
  }
  void addSingleOutputs(const ExperimentOptions& o) {
    if (!o.save.empty()) add("world.sav", makeStateOutput(o.save));
    if (!o.stats.empty()) add("stats.csv", makeStatsOutput(o.stats, false));
    if (!o.phylogeny.empty()) add("phylogeny.csv", makePhylogenyOutput(o.phylogeny, false));
    if (!o.genes.empty()) add("genes.csv", makeGenesOutput(o.genes, false));
    if (!o.phylodiversity.empty())
      add("phylodiversity.csv", makePhylodiversityOutput(o.phylodiversity, false, ""));
    if (!o.record.empty()) add("run.json", makeRecordOutput(o.record, &info));
  }

  // Begins outputs [from, to), each with its part of a checkpoint when the
  // run is resumed.
  bool beginOutputs(size_t from, size_t to, const json* resumed) {
    for (size_t i = from; i < to && i < outputs_.size(); ++i) {
      std::string error;
      // An output that the checkpoint's runner did not have keeps nothing.
      static const json nothing;
      const json* part = !resumed ? nullptr : resumed->contains(names_[i]) ? &resumed->at(names_[i]) : &nothing;
      if (!outputs_[i]->begin(part, &error)) {
        say(resumed ? "cannot resume: " + error : error);
        return false;
      }
    }
    return true;
  }
  size_t outputCount() const { return outputs_.size(); }

  // The whole state of the run into the folder; false when it failed (the
  // previous checkpoint is then kept).
  bool checkpoint() {
    json saved = {{"format", kResumeFormat}, {"frame", frame_},       {"run", runInfoJson(info)},
                  {"simulation", captureSimulation()}, {"census", captureCensus()}};
    json& parts = saved["outputs"] = json::object();
    for (size_t i = 0; i < outputs_.size(); ++i) {
      std::string error;
      if (!outputs_[i]->checkpoint(frame_, &parts[names_[i]], &error)) {
        if (!error.empty()) say(error);
        say("the checkpoint of frame " + std::to_string(frame_) + " failed; the previous one is kept");
        return false;
      }
    }
    std::string error;
    if (!writeFileSafely(resumeFilePath(folder_), saved.dump() + "\n", &error)) {
      say(error + "; the previous checkpoint is kept");
      return false;
    }
    for (auto& output : outputs_) output->commit();
    syncFolder(folder_);
    lastCheckpoint_ = frame_;
    return true;
  }

  // Runs frames up to info.frames and ends the run. Returns the exit status.
  int run(int64_t startFrame, bool fromCheckpoint) {
    // A video is made in one go: a run that makes one is never checkpointed.
    const bool resumable = !folder_.empty() && info.pictures.video.empty();
    frame_ = startFrame;
    continueFrameCount(startFrame);  // the simulation numbers the frames from here
    if (fromCheckpoint) lastCheckpoint_ = frame_;
    if (info.checkpointEvery > 0 && lastCheckpoint_ != frame_ && !checkpoint()) return kExitBadUse;

    const bool progress = !quiet_ && isatty(2);
    const auto start = std::chrono::steady_clock::now();
    auto lastShown = start;
    bool failed = false;
    subscribe(this);
    while (frame_ < info.frames && *stop_ == 0) {
      simulateFrame();
      regulatePopulation();  // ends the frame: the row is written as it is told
      frame_ = runningFrame();
      if (info.checkpointEvery > 0 && frame_ % info.checkpointEvery == 0 && frame_ < info.frames && *stop_ == 0)
        failed |= !checkpoint();
      if (progress && (frame_ & 63) == 0) {
        auto now = std::chrono::steady_clock::now();
        if (now - lastShown >= std::chrono::milliseconds(500)) {
          lastShown = now;
          showProgress(frame_ - startFrame, std::chrono::duration<double>(now - start).count());
        }
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) std::fprintf(stderr, "\r\033[K");
    const bool interrupted = frame_ < info.frames;
    unsubscribe(this);

    // The end: a last checkpoint (so that a run stopped while it writes its
    // outputs still resumes), the closing row, then every output.
    if (resumable && lastCheckpoint_ != frame_) failed |= !checkpoint();
    if (frame_ % info.every != 0) writeRow(frame_);
    info.endSeconds = info.wallSeconds();
    for (auto& output : outputs_) {
      std::string error;
      if (!output->finish(frame_, interrupted, &error)) {
        if (!error.empty()) say(error);
        failed = true;
      }
    }
    if (!folder_.empty() && !interrupted && !failed && unlink(resumeFilePath(folder_).c_str()) == 0)
      for (auto& output : outputs_) output->checkpointRemoved();

    if (!quiet_)
      std::printf("%" PRId64 " frames in %.2f s (%.0f frames/s), %d Units living at Evolution Level %d\n",
                  frame_ - startFrame, seconds, seconds > 0 ? (double)(frame_ - startFrame) / seconds : 0.0,
                  (int)simulation.livingCount, (int)evolutionLevel());
    if (interrupted) {
      std::string how = resumable ? "outputs written as they stand; to go on: tarn-sim --resume " + folder_
                        : folder_.empty() ? "outputs written as they stand (without --out it cannot be resumed)"
                                          : "outputs written as they stand (a run with --video cannot be resumed)";
      say(std::string("stopped by ") + signalName(*stop_) + " at frame " + std::to_string(frame_) + " of " +
          std::to_string(info.frames) + "; " + how);
    }
    if (failed) return kExitOutputFailed;
    return interrupted ? 128 + *stop_ : kExitDone;
  }

 private:
  void add(const char* name, std::unique_ptr<Output> output) {
    names_.push_back(name);
    outputs_.push_back(std::move(output));
  }

  void frameEnded(int64_t frame) override {
    if (frame % info.every == 0) writeRow(frame);
  }

  void writeRow(int64_t frame) {
    const StatsRow row = currentStatsRow(frame);
    rowTally = Tally{};
    for (auto& output : outputs_) output->row(row);
  }

  void showProgress(int64_t done, double seconds) {
    const double rate = seconds > 0 ? (double)done / seconds : 0;
    const double left = rate > 0 ? (double)(info.frames - frame_) / rate : 0;
    std::fprintf(stderr, "\rframe %" PRId64 " of %" PRId64 "  %.0f frames/s  %s left\033[K", frame_, info.frames,
                 rate, duration(left).c_str());
  }

  const volatile std::sig_atomic_t* stop_;
  bool quiet_;
  std::string folder_;
  bool madeFolder_ = false;
  int folderLock_ = -1;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<Output>> outputs_;
  int64_t frame_ = 0;
  int64_t lastCheckpoint_ = -1;
};

}  // namespace

int runExperiment(const ExperimentOptions& o, const volatile std::sig_atomic_t* stop) {
  Experiment run(stop, o.quiet);
  RunInfo& info = run.info;
  info.sessionStart = std::chrono::steady_clock::now();
  info.startTime = utcNow();
  info.commandLine = o.commandLine;
  info.seed = o.seed;
  info.rules = o.rules;
  rules = info.rules;
  info.frames = o.frames;
  info.every = o.every;
  info.checkpointEvery = o.checkpointEvery;
  info.pictures = o.pictures;
  if (!o.quiet) std::printf("seed %u\n", o.seed);

  seedRandom(o.seed);
  if (!o.load.empty() && !loadStart(o, &info)) return kExitBadUse;

  if (!o.out.empty()) {
    bool made = false;
    std::string error;
    const std::string folder = folderName(o.out);
    if (!prepareNewFolder(folder, &made, &error)) {
      say(error);
      return kExitBadUse;
    }
    if (!run.takeFolder(folder, made)) return kExitBadUse;
    run.addFolderOutputs();
  } else {
    run.addSingleOutputs(o);
  }
  if (!run.addPictureOutputs()) return kExitBadUse;
  run.addReportOutput(o.out.empty() ? o.report : folderName(o.out) + "/report.html",
                      ReportFiles{o.save, o.stats, o.phylogeny, o.record, o.phylodiversity});
  // The census first: outputs begin from the Units it numbered, and hear of
  // each newcomer after it.
  startCensus();
  if (!run.beginOutputs(0, run.outputCount(), nullptr)) return kExitBadUse;
  return run.run(0, false);
}

int resumeExperiment(const std::string& folderGiven, bool quiet, const std::vector<std::string>& commandLine,
                     const volatile std::sig_atomic_t* stop) {
  const std::string folder = folderName(folderGiven);
  const std::string path = resumeFilePath(folder);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
      say("cannot resume: " + folder + ": " + std::strerror(errno));
    else if (!S_ISDIR(st.st_mode))
      say("cannot resume: " + folder + " is not a folder");
    else
      say("cannot resume: " + folder + " holds no checkpoint (no file \"resume\"; a finished run removes it)");
    return kExitBadUse;
  }
  Experiment run(stop, quiet);
  if (!run.takeFolder(folder, false)) return kExitBadUse;
  try {
    std::stringstream text;
    text << in.rdbuf();
    const ResumePoint point = readResumePoint(text.str());
    const int64_t frame = point.frame;
    run.info = point.run;
    rules = run.info.rules;
    run.info.resumedWith.push_back(commandLine);
    run.info.sessionStart = std::chrono::steady_clock::now();
    if (!quiet) std::printf("seed %u, going on from frame %" PRId64 "\n", run.info.seed, frame);

    // The state file first (verified against the checkpoint), then what the
    // state file does not hold, then the stream files, cut back to where the
    // checkpoint left them.
    run.addFolderOutputs();
    if (!run.addPictureOutputs()) return kExitBadUse;
    run.addReportOutput(folder + "/report.html", ReportFiles{});
    const json& parts = point.outputs;
    if (!run.beginOutputs(0, 1, &parts)) return kExitBadUse;
    LoadReport report;
    const std::string world = folder + "/world.sav";
    if (!loadState(world.c_str(), &report) || report.stopLine != 0 || report.trailing) {
      say("cannot resume: " + world + " is damaged");
      return kExitBadUse;
    }
    startCensus();
    restoreSimulation(point.simulation);
    restoreCensus(point.census);
    if (!run.beginOutputs(1, run.outputCount(), &parts)) return kExitBadUse;
    return run.run(frame, true);
  } catch (const std::exception& e) {
    say("cannot resume: " + path + " is damaged: " + e.what());
    return kExitBadUse;
  }
}
