#include "picture/run_pictures.h"

#include <dirent.h>
#include <unistd.h>

#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "picture/muller.h"
#include "picture/plot.h"
#include "picture/process.h"
#include "picture/png.h"
#include "picture/video.h"
#include "picture/world_picture.h"
#include "record/genes.h"
#include "persist/files.h"
#include "world/cellfield.h"

using nlohmann::json;

namespace {

void warn(const std::string& message) { std::fprintf(stderr, "tarn-sim: %s\n", message.c_str()); }

bool startDrawing(std::string* error) {
  std::string why;
  if (startHeadlessDrawing(why)) return true;
  *error = why;
  return false;
}

// A picture takes its name by replacing whatever file was there once it is
// whole; so it must be a regular file, and one that can be made.
// A plot of rows kept in memory: the plotter reads them from a file beside
// the picture, removed once it is drawn.
// (A scratch file is a ReplacingFile never committed: a name beside the
// picture that goes when it does.)
template <typename Draw>
bool drawFromKeptRows(const std::string& picture, const std::string& rows, std::string* error, Draw draw) {
  ReplacingFile scratch;
  if (!scratch.open(picture, ".csv")) {
    *error = scratch.message();
    return false;
  }
  return writeFileSafely(scratch.temporary(), rows, error) && draw(scratch.temporary());
}

bool checkPictureTarget(const std::string& path, std::string* error) {
  if (isSpecialFile(path)) {
    *error = "cannot write " + path + ": a picture must be a regular file (it is replaced whole)";
    return false;
  }
  return probeWritable(path, error);
}

// Writes a run's pictures on a thread of its own, so that the run goes on
// while a picture is encoded: the run draws a picture (it reads the tables,
// so it draws on the run's thread) and hands it over, and it waits only
// when two are still waiting. After the first failure nothing more is
// written; the writer says why when it happens.
class PictureQueue {
 public:
  using Write = std::function<bool(int64_t frame, const RgbImage& picture, std::string& error)>;
  explicit PictureQueue(Write write) : write_(std::move(write)) {}
  ~PictureQueue() {
    {
      std::lock_guard<std::mutex> held(lock_);
      stop_ = true;
      changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
  }

  // A picture to draw into, one already written when there is one.
  std::unique_ptr<RgbImage> take() {
    std::lock_guard<std::mutex> held(lock_);
    if (spare_.empty()) return std::make_unique<RgbImage>();
    std::unique_ptr<RgbImage> picture = std::move(spare_.back());
    spare_.pop_back();
    return picture;
  }
  void put(int64_t frame, std::unique_ptr<RgbImage> picture) {
    std::unique_lock<std::mutex> held(lock_);
    changed_.wait(held, [this] { return waiting_.size() < kMaxWaiting; });
    waiting_.emplace_back(frame, std::move(picture));
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    changed_.notify_all();
  }
  // Waits until every picture handed over is written; false when one failed.
  bool drain() {
    std::unique_lock<std::mutex> held(lock_);
    changed_.wait(held, [this] { return waiting_.empty() && !busy_; });
    return !failed_;
  }
  bool failed() {
    std::lock_guard<std::mutex> held(lock_);
    return failed_;
  }

 private:
  static constexpr size_t kMaxWaiting = 2;

  void work() {
    std::unique_lock<std::mutex> held(lock_);
    for (;;) {
      changed_.wait(held, [this] { return stop_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      auto [frame, picture] = std::move(waiting_.front());
      waiting_.pop_front();
      const bool skip = failed_;
      busy_ = true;
      held.unlock();
      std::string error;
      const bool written = skip || write_(frame, *picture, error);
      if (!written) warn(error);
      held.lock();
      failed_ |= !written;
      busy_ = false;
      spare_.push_back(std::move(picture));
      changed_.notify_all();
    }
  }

  Write write_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::pair<int64_t, std::unique_ptr<RgbImage>>> waiting_;
  std::vector<std::unique_ptr<RgbImage>> spare_;
  bool busy_ = false, failed_ = false, stop_ = false;
  std::thread worker_;
};

// The world at the end: --snapshot, and world.png.
class SnapshotOutput : public Output {
 public:
  SnapshotOutput(const std::string& path, int scale) : Output(path), scale_(scale) {}
  bool begin(const json*, std::string* error) override {
    return startDrawing(error) && checkPictureTarget(path_, error);
  }
  bool finish(int64_t, bool, std::string* error) override {
    RgbImage picture;
    drawWorldPicture(picture, scale_);
    return writePng(path_, picture, PngTarget::Replace, *error);
  }

 private:
  int scale_;
};

// A world picture every K frames in a folder of their own. A resumed run
// goes on drawing into it; a picture after the checkpoint that the stopped
// run had drawn already is drawn again, the same.
class TimeLapseOutput : public Output {
 public:
  TimeLapseOutput(const std::string& folder, int64_t every, int scale)
      : Output(folder), every_(every), scale_(scale), queue_([this](int64_t frame, const RgbImage& picture,
                                                                    std::string& error) {
          if (writePng(timeLapseName(path_, frame), picture, PngTarget::Replace, error)) return true;
          error += "; the time-lapse in " + path_ + " stops here";
          return false;
        }) {}
  ~TimeLapseOutput() override {
    if (made_ && !finished_) rmdir(path_.c_str());  // refused before the first frame: the folder goes again
  }

  bool begin(const json* resumed, std::string* error) override {
    if (!startDrawing(error)) return false;
    if (!resumed) {
      if (!prepareNewFolder(path_, &made_, error)) return false;
    } else {
      std::error_code failure;
      std::filesystem::create_directories(path_, failure);
      removePartialPictures();
    }
    return probeWritable(timeLapseName(path_, 0), error);
  }
  void row(const StatsRow& row) override {
    if (row.frame % every_ != 0 || queue_.failed()) return;
    std::unique_ptr<RgbImage> picture = queue_.take();
    drawWorldPicture(*picture, scale_);
    queue_.put(row.frame, std::move(picture));
  }
  // The pictures up to a checkpoint are on the disk before it is taken: a
  // resumed run draws only those after it.
  bool checkpoint(int64_t, json*, std::string*) override {
    queue_.drain();
    return true;
  }
  bool finish(int64_t, bool, std::string* error) override {
    finished_ = true;
    error->clear();  // a failure was told when it happened
    return queue_.drain();
  }

 private:
  // A run killed while it wrote a picture leaves its hidden partial file.
  void removePartialPictures() {
    DIR* d = opendir(path_.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.rfind(".frame-", 0) == 0 && name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
        unlink((path_ + "/" + name).c_str());
    }
    closedir(d);
  }

  int64_t every_;
  int scale_;
  bool made_ = false, finished_ = false;
  PictureQueue queue_;
};

// The time-lapse pictures as a video, encoded while the run goes. It is made
// in one go (the runner checkpoints no run that makes one); a run stopped by
// a signal ends it whole with the pictures drawn so far.
class VideoOutput : public Output {
 public:
  VideoOutput(const std::string& path, int64_t every, int scale)
      : Output(path), every_(every), scale_(scale), queue_([this](int64_t, const RgbImage& picture,
                                                                    std::string& error) {
          if (video_.writeFrame(picture, error)) return true;
          error += "; no video is made";
          return false;
        }) {}

  bool begin(const json* resumed, std::string* error) override {
    if (resumed) {
      *error = "a video cannot be continued by a resumed run";
      return false;
    }
    if (!startDrawing(error) || !checkPictureTarget(path_, error)) return false;
    const int width = kWorldWidth * scale_, height = kWorldHeight * scale_;
    return checkVideoEncoder(path_, width, height, kVideoFramesPerSecond, *error) &&
           video_.open(path_, width, height, kVideoFramesPerSecond, *error);
  }
  void row(const StatsRow& row) override {
    if (row.frame % every_ != 0 || queue_.failed()) return;
    std::unique_ptr<RgbImage> picture = queue_.take();
    drawWorldPicture(*picture, scale_);
    queue_.put(row.frame, std::move(picture));
  }
  bool finish(int64_t, bool, std::string* error) override {
    error->clear();
    if (!queue_.drain()) return false;
    if (video_.framesWritten() == 0) {
      video_.abandon();
      warn("no video " + path_ + ": the run stopped before its first picture");
      return true;
    }
    return video_.finish(*error);
  }

 private:
  int64_t every_;
  int scale_;
  VideoWriter video_;  // written by the queue's thread until it is drained
  PictureQueue queue_;
};

// Whether plots can be drawn, found out once for all the run's plots.
bool checkPlotterOnce(std::string* error) {
  static int known = -1;  // -1 not yet asked, 0 no, 1 yes
  static std::string why;
  if (known < 0) known = checkPlotter(why) ? 1 : 0;
  if (!known) *error = why;
  return known == 1;
}

// The plot of the run's stats: from the experiment folder's stats.csv (which
// a resumed run continues), or else from the rows kept here (about 120
// bytes a row: 10,000 rows for a million frames at one row every 100).
class PlotOutput : public Output {
 public:
  PlotOutput(const std::string& path, const std::string& statsFile, const std::string& title, bool inFolder)
      : Output(path), statsFile_(statsFile), title_(title), inFolder_(inFolder) {}

  bool begin(const json*, std::string* error) override {
    if (!checkPlotterOnce(error)) {
      if (inFolder_) *error += " (--no-pictures leaves run.png and world.png out)";
      return false;
    }
    if (!checkPictureTarget(path_, error)) return false;
    if (statsFile_.empty()) rows_ = kStatsHeader;
    return true;
  }
  void row(const StatsRow& row) override {
    if (statsFile_.empty()) rows_ += formatStatsRow(row);
  }
  bool finish(int64_t, bool, std::string* error) override {
    if (!statsFile_.empty()) return drawRunPlot(statsFile_, path_, *error);
    return drawFromKeptRows(path_, rows_, error,
                            [&](const std::string& rows) { return drawRunPlot(rows, path_, *error, title_); });
  }

 private:
  std::string statsFile_, title_, rows_;
  bool inFolder_;
};

// How the genes moved: from the experiment folder's genes.csv, or else from
// the rows kept here (36 lines of about 50 bytes a row).
class GenesPlotOutput : public Output {
 public:
  GenesPlotOutput(const std::string& path, const std::string& genesFile, int64_t every, const std::string& title)
      : Output(path), genesFile_(genesFile), title_(title), every_(every) {}
  bool begin(const json*, std::string* error) override {
    if (!checkPlotterOnce(error)) {
      if (genesFile_.size()) *error += " (--no-pictures leaves the folder's pictures out)";
      return false;
    }
    if (!checkPictureTarget(path_, error)) return false;
    if (genesFile_.empty()) rows_ = kGenesHeader;
    return true;
  }
  void row(const StatsRow& row) override {
    if (genesFile_.empty()) appendGeneRows(rows_, row.frame);
  }
  bool finish(int64_t, bool, std::string* error) override {
    if (!genesFile_.empty()) return drawGenesPlot(genesFile_, path_, every_, *error, title_);
    return drawFromKeptRows(path_, rows_, error, [&](const std::string& rows) {
      return drawGenesPlot(rows, path_, every_, *error, title_);
    });
  }

 private:
  std::string genesFile_, title_, rows_;
  int64_t every_;
};

// muller.png: drawn when the run ends from the folder's lineages.csv, which
// is written before it.
class MullerOutput : public Output {
 public:
  MullerOutput(const std::string& folder, const std::string& title)
      : Output(folder + "/muller.png"), folder_(folder), title_(title) {}
  bool begin(const json*, std::string* error) override {
    if (!checkPlotterOnce(error)) {
      *error += " (--no-pictures leaves the folder's pictures out)";
      return false;
    }
    return startDrawing(error) && checkPictureTarget(path_, error);
  }
  bool finish(int64_t, bool, std::string* error) override {
    ReplacingFile layout;  // a scratch file beside the picture
    int bands = 0;
    std::string colours;
    error->clear();
    if (!layout.open(path_, ".csv")) {
      *error = layout.message();
      return false;
    }
    return writeMullerLayout(folder_, layout.temporary(), &bands, &colours, error) &&
           drawMullerPlot(layout.temporary(), bands, colours, path_, *error, title_);
  }

 private:
  std::string folder_, title_;
};

// phylodiversity.png: drawn when the run ends from the folder's
// phylodiversity.csv, which is written before it (a run resumed from the
// checkpoint of a runner without that file has neither).
class PhylodiversityPlotOutput : public Output {
 public:
  explicit PhylodiversityPlotOutput(const std::string& folder)
      : Output(folder + "/phylodiversity.png"), rows_(folder + "/phylodiversity.csv"),
        title_("The tree of the living of " + folder) {}
  bool begin(const json*, std::string* error) override {
    if (!checkPlotterOnce(error)) {
      *error += " (--no-pictures leaves the folder's pictures out)";
      return false;
    }
    return checkPictureTarget(path_, error);
  }
  bool finish(int64_t, bool, std::string* error) override {
    if (access(rows_.c_str(), F_OK) != 0) return true;
    return drawPhylodiversityPlot(rows_, path_, *error, title_);
  }

 private:
  std::string rows_, title_;
};

}  // namespace

std::string timeLapseName(const std::string& folder, int64_t frame) {
  char name[40];
  std::snprintf(name, sizeof name, "/frame-%06" PRId64 ".png", frame);
  return folder + name;
}

void makeRunPictureOutputs(const RunInfo& info, const std::string& folder, NamedOutputs* outputs) {
  const PictureOptions& p = info.pictures;
  auto add = [&](const char* name, Output* output) { outputs->emplace_back(name, std::unique_ptr<Output>(output)); };
  const std::string stats = folder.empty() ? "" : folder + "/stats.csv";
  if (!folder.empty() && p.inFolder) {
    add("world.png", new SnapshotOutput(folder + "/world.png", p.scale));
    add("run.png", new PlotOutput(folder + "/run.png", stats, "", true));
    add("genes.png", new GenesPlotOutput(folder + "/genes.png", folder + "/genes.csv", info.every, ""));
    add("muller.png", new MullerOutput(folder, "Major lineages of " + folder + ": share of the Units alive"));
    add("phylodiversity.png", new PhylodiversityPlotOutput(folder));
  }
  if (!p.snapshot.empty()) add("snapshot", new SnapshotOutput(p.snapshot, p.scale));
  if (!p.framesDir.empty()) add("frames", new TimeLapseOutput(folderName(p.framesDir), info.every, p.scale));
  if (!p.video.empty()) add("video", new VideoOutput(p.video, info.every, p.scale));
  std::string title = "Run of seed " + std::to_string(info.seed);
  if (!info.loadFile.empty()) title += " from " + info.loadFile;
  if (!p.plot.empty()) add("plot", new PlotOutput(p.plot, stats, title, false));
  if (!p.genesPlot.empty()) add("genes plot", new GenesPlotOutput(p.genesPlot, "", info.every, title));
}

bool writeGlyphPng(const Genome& genome, const std::string& path, std::string* error) {
  if (!startDrawing(error)) return false;
  RgbImage picture;
  drawGlyphPicture(picture, genome, 8);
  return writePng(path, picture, PngTarget::Replace, *error);
}
