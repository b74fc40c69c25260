// Pictures of the world, PNG files, videos, plots and screenshots. The world
// picture is held against the window's own drawing of the same world on a
// memory bitmap; files are read back with libpng, videos with ffprobe.
#include <dirent.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support.h"
#include "picture/plot.h"
#include "picture/muller.h"
#include "picture/png.h"
#include "picture/run_pictures.h"
#include "picture/screenshot.h"
#include "picture/video.h"
#include "picture/world_picture.h"
#include "experiment/experiment.h"
#include "analysis/lineages.h"
#include "report/page.h"

namespace {

// A fresh folder, removed with what it holds when the test ends.
class Folder {
 public:
  Folder() {
    std::string pattern = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/tarn-picture.XXXXXX";
    path_ = mkdtemp(&pattern[0]);
  }
  ~Folder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // The names in the folder, hidden ones too, sorted.
  std::string names() const {
    std::string all;
    std::unique_ptr<FILE, int (*)(FILE*)> ls(popen(("ls -A '" + path_ + "'").c_str(), "r"), pclose);
    char line[512];
    while (fgets(line, sizeof line, ls.get())) all += line;
    return all;
  }

 private:
  std::string path_;
};

bool readPng(const std::string& path, RgbImage& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image.resize((int)png.width, (int)png.height);
  return png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) != 0;
}

std::string run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
  return out;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The frames of the time-lapse strip a run's page shows, in its order.
std::string timeLapseStrip(const std::string& page) {
  std::string strip;
  for (size_t at = page.find("<figcaption>frame "); at != std::string::npos; at = page.find("<figcaption>frame ", at + 1))
    strip += page.substr(at + 18, page.find('<', at + 18) - at - 18) + " ";
  return strip;
}

class PictureTest : public DrawingTest {
 protected:
  // The pictures lay the colour components out as the window's displays
  // do; the drawing tests that share this program keep the library's own
  // layout, so it is put back afterwards.
  void SetUp() override {
    DrawingTest::SetUp();
    shifts_[0] = _rgb_r_shift_32, shifts_[1] = _rgb_g_shift_32, shifts_[2] = _rgb_b_shift_32;
    std::string error;
    ASSERT_TRUE(startHeadlessDrawing(error)) << error;
  }
  void TearDown() override {
    _rgb_r_shift_32 = shifts_[0], _rgb_g_shift_32 = shifts_[1], _rgb_b_shift_32 = shifts_[2];
    DrawingTest::TearDown();
  }
  int shifts_[3] = {};
};

// A world with something at every edge: cells on the outer ring and just
// inside it, each kind of non-empty cell, Units whose glyphs reach past all
// four edges, glyphs that show the run rule, and both selections in use.
void craftWorld() {
  CellField& field = editCellGrids();
  for (int x = 0; x < kWorldWidth; x += 7) field.cells[cellIndex(x, 0)] = field.cells[cellIndex(x, 524)] = Live;
  for (int y = 0; y < kWorldHeight; y += 5) field.cells[cellIndex(0, y)] = field.cells[cellIndex(824, y)] = Live;
  field.cells[cellIndex(1, 1)] = Live;
  field.cells[cellIndex(823, 523)] = Sprout;
  field.cells[cellIndex(300, 200)] = Dormant;
  field.cells[cellIndex(301, 200)] = 5;
  for (int i = 0; i < 3000; ++i) field.cells[(i * 7919) % kCellCount] = Live;

  auto all = [](int) { return true; };
  Genome full = genomeWhere(all);
  full[2] = 250, full[3] = 200, full[7] = 150;
  placeUnit(0, 0, 0, full);      // cut at the top and the left
  placeUnit(1, 824, 524, full);  // cut at the bottom and the right
  placeUnit(2, 1, 260, full);
  placeUnit(3, 400, 523, full);
  Genome carry = genomeWhere([](int k) { return k == 5 || k == 6 || k > 30; });
  carry[2] = 180, carry[3] = 90, carry[7] = 220;
  placeUnit(4, 400, 300, carry);
  placeUnit(5, 410, 300, carry);
  placeUnit(6, 600, 100, genomeWhere([](int k) { return k % 2 == 0; }));
  units.status[7] = Dead;
  units.posX[7] = 500, units.posY[7] = 400;
  units.genome[7] = full;
  hoverSelection.ids[0] = 4;
  hoverSelection.ids[1] = 0;
  pickedSelection.ids[0] = 5;
  pickedSelection.ids[1] = 6;
}

TEST_F(PictureTest, WorldPictureIsTheWindowsWorldDrawingCutAtTheFieldsEdge) {
  craftWorld();
  auto tables = std::make_unique<UnitTable>(units);
  const CellField& field = cellGrids();
  std::vector<int32_t> cells(field.cells, field.cells + kCellCount);
  const Selection hover = hoverSelection, picked = pickedSelection;

  RgbImage picture;
  drawWorldPicture(picture, 1);
  ASSERT_EQ(picture.width, 825);
  ASSERT_EQ(picture.height, 525);
  EXPECT_EQ(std::memcmp(tables.get(), &units, sizeof units), 0);
  EXPECT_TRUE(std::equal(cells.begin(), cells.end(), cellGrids().cells));
  EXPECT_EQ(std::memcmp(&hover, &hoverSelection, sizeof hover), 0);
  EXPECT_EQ(std::memcmp(&picked, &pickedSelection, sizeof picked), 0);

  // The window's drawing of the same world without selections, on black.
  hoverSelection.clear();
  pickedSelection.clear();
  BITMAP* window = makeBitmap(kScreenWidth, kScreenHeight, 0);
  drawWorld(window, WorldOffsetX, WorldOffsetY);
  ASSERT_NE(pixelAt(window, WorldOffsetX - 3, WorldOffsetY - 3), 0u);  // a glyph reaches past the edge
  int differing = 0, lit = 0;
  for (int y = 0; y < kWorldHeight; ++y)
    for (int x = 0; x < kWorldWidth; ++x) {
      const uint32_t c = pixelAt(window, x + WorldOffsetX, y + WorldOffsetY);
      const uint8_t* p = picture.row(y) + 3 * x;
      differing += p[0] != getr32((int)c) || p[1] != getg32((int)c) || p[2] != getb32((int)c);
      lit += c != 0;
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(lit, 3000);

  // Read by hand: the ring is not drawn, the corner glyph is cut so its
  // dark first pixel is gone, and a run carried from gene 5 into gene 6
  // gives gene 6 the full colour.
  auto at = [&](int x, int y) {
    const uint8_t* p = picture.row(y) + 3 * x;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(at(7, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(at(1, 1), (std::vector<int>{250, 200, 150}));
  EXPECT_EQ(at(0, 0), (std::vector<int>{250, 200, 150}));
  EXPECT_EQ(at(400 - 3, 300 + 2), (std::vector<int>{144, 72, 176}));  // gene 5: a run starts, dark
  EXPECT_EQ(at(400 - 2, 300 - 3), (std::vector<int>{180, 90, 220}));  // gene 6 continues it: full
}

TEST_F(PictureTest, ScaleMakesEveryCellABlock) {
  craftWorld();
  RgbImage one, three;
  drawWorldPicture(one, 1);
  drawWorldPicture(three, 3);
  ASSERT_EQ(three.width, 3 * 825);
  ASSERT_EQ(three.height, 3 * 525);
  int differing = 0;
  for (int y = 0; y < three.height; ++y)
    for (int x = 0; x < three.width; ++x)
      differing += std::memcmp(three.row(y) + 3 * x, one.row(y / 3) + 3 * (x / 3), 3) != 0;
  EXPECT_EQ(differing, 0);
}

// The glyph picture of a report is the window's glyph of that genome, each
// pixel an 8 x 8 block: against the 6 x 6 square around the Unit at
// (400, 300) in the world picture, its cells cleared.
TEST_F(PictureTest, GlyphPictureIsTheWindowsGlyphOfTheGenome) {
  craftWorld();
  units.status[5] = Dead;  // leaves Unit 4 alone at (400, 300)
  for (int y = 297; y < 303; ++y)
    for (int x = 397; x < 403; ++x) editCellGrids().cells[cellIndex(x, y)] = 0;
  RgbImage world;
  drawWorldPicture(world, 1);
  Folder folder;
  std::string error;
  ASSERT_TRUE(writeGlyphPng(units.genome[4], folder / "glyph.png", &error)) << error;
  RgbImage glyph;
  ASSERT_TRUE(readPng(folder / "glyph.png", glyph));
  ASSERT_EQ(glyph.width, 48);
  ASSERT_EQ(glyph.height, 48);
  int differing = 0, lit = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      const uint8_t* want = world.row(300 - 3 + y / 8) + 3 * (400 - 3 + x / 8);
      differing += std::memcmp(glyph.row(y) + 3 * x, want, 3) != 0;
      lit += want[0] || want[1] || want[2];
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GE(lit, 8 * 8 * 7);  // genes 5, 6 and 31 to 35 at least
}

TEST_F(PictureTest, PngFilesHoldThePictureAndNeverLoseAnOldOne) {
  craftWorld();
  RgbImage picture, back;
  drawWorldPicture(picture, 1);
  Folder dir;
  std::string error;
  ASSERT_TRUE(writePng(dir / "world.png", picture, PngTarget::Replace, error)) << error;
  ASSERT_TRUE(readPng(dir / "world.png", back));
  EXPECT_EQ(back.width, 825);
  EXPECT_TRUE(back.pixels == picture.pixels);

  // A new name only: an existing file is kept and the refusal says so.
  std::ofstream(dir / "taken.png") << "mine";
  bool existed = false;
  EXPECT_FALSE(writePng(dir / "taken.png", picture, PngTarget::New, error, &existed));
  EXPECT_TRUE(existed);
  EXPECT_EQ(fileBytes(dir / "taken.png"), "mine");
  // Nowhere to write: a message, and no temporary file is left.
  EXPECT_FALSE(writePng(dir / "no/such/folder.png", picture, PngTarget::Replace, error));
  EXPECT_NE(error.find("no/such/folder.png"), std::string::npos) << error;
  EXPECT_EQ(dir.names(), "taken.png\nworld.png\n");
}

// --- Videos ------------------------------------------------------------------

struct VideoCase {
  const char* name;
  const char* codec;
  const char* pixelFormat;  // as ffprobe decodes it
  int width, height;
};

class VideoTest : public PictureTest, public ::testing::WithParamInterface<VideoCase> {};

TEST_P(VideoTest, OneVideoFramePerPictureInAFormPlayersPlay) {
  const VideoCase& c = GetParam();
  craftWorld();
  Folder dir;
  std::string error;
  ASSERT_TRUE(checkVideoEncoder(dir / c.name, 825, 525, 10, error)) << error;
  EXPECT_EQ(dir.names(), "");  // the check leaves nothing behind
  VideoWriter video;
  ASSERT_TRUE(video.open(dir / c.name, 825, 525, 10, error)) << error;
  RgbImage picture;
  for (int frame = 0; frame < 7; ++frame) {
    units.posX[4] = 100 + 40 * frame;
    drawWorldPicture(picture, 1);
    ASSERT_TRUE(video.writeFrame(picture, error)) << error;
  }
  EXPECT_NE(access((dir / c.name).c_str(), F_OK), 0);  // not in place before it is whole
  ASSERT_TRUE(video.finish(error)) << error;
  EXPECT_EQ(dir.names(), std::string(c.name) + "\n");
  const std::string probe = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=codec_name,width,height,pix_fmt,nb_read_frames -of csv=p=0 '" +
                                dir / c.name + "'");
  EXPECT_EQ(probe, std::string(c.codec) + "," + std::to_string(c.width) + "," + std::to_string(c.height) + "," +
                       c.pixelFormat + ",7\n");
  // The last video frame shows the last picture: its lit pixels lit, its
  // dark ones dark (the encoders blur single cells a little).
  run("ffmpeg -nostdin -v error -i '" + dir / c.name + "' -vf 'select=eq(n\\,6)' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt rgb24 -y '" +
      dir / "last.rgb" + "'");
  const std::string decoded = fileBytes(dir / "last.rgb");
  ASSERT_EQ(decoded.size(), (size_t)c.width * c.height * 3);
  long lit = 0, litKept = 0, dark = 0, darkKept = 0;
  for (int y = 0; y < 525; ++y)
    for (int x = 0; x < 825; ++x) {
      const uint8_t* p = picture.row(y) + 3 * x;
      const auto* d = reinterpret_cast<const uint8_t*>(decoded.data()) + 3 * ((size_t)y * c.width + x);
      const int want = p[0] + p[1] + p[2], got = d[0] + d[1] + d[2];
      if (want > 150) ++lit, litKept += got > 75;
      if (want < 30) ++dark, darkKept += got < 100;
    }
  ASSERT_GT(lit, 100);
  EXPECT_GT(litKept, lit * 8 / 10) << "of " << lit << " lit pixels";
  EXPECT_GT(darkKept, dark * 95 / 100) << "of " << dark << " dark pixels";
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoTest,
                         ::testing::Values(VideoCase{"run.mp4", "h264", "yuv420p", 826, 526},
                                           VideoCase{"run.webm", "vp9", "yuv420p", 826, 526},
                                           VideoCase{"run.gif", "gif", "bgra", 825, 525}),
                         [](const auto& info) { return std::string(info.param.name).substr(4); });

// A run's video shows its world, a picture every K frames (none when the
// run ends before the first), and a plot of its genes without a genes.csv,
// drawn from the rows the run kept, is the plot of the same run's genes.csv.
TEST_F(PictureTest, ARunsVideoShowsItsWorldAndItsKeptRowsArePlotted) {
  Folder dir;
  makePictureOutputs = makeRunPictureOutputs;
  static volatile std::sig_atomic_t never = 0;
  int status[3];
  for (int k = 0; k < 3; ++k) {
    ExperimentOptions o;
    o.seed = 4, o.frames = 60, o.every = k == 2 ? 100 : 20, o.quiet = true;
    o.pictures.genesPlot = dir / (k == 0 ? "kept.png" : k == 1 ? "from-file.png" : "short.png");
    if (k != 1) o.pictures.video = dir / (k ? "none.gif" : "run.gif");
    if (k == 1) o.genes = dir / "genes.csv";
    resetSimulation();
    status[k] = runExperiment(o, &never);
  }
  ExperimentOptions folder;  // an experiment folder gets its pictures at the end
  folder.seed = 4, folder.frames = 60, folder.every = 20, folder.quiet = true, folder.out = dir / "folder";
  folder.pictures.inFolder = true, folder.pictures.scale = 2;
  resetSimulation();
  EXPECT_EQ(runExperiment(folder, &never), kExitDone);
  makePictureOutputs = nullptr;
  for (const char* name : {"world.png", "run.png", "genes.png", "muller.png", "phylodiversity.png"})
    EXPECT_EQ(fileBytes(dir / "folder/" + name).substr(1, 3), "PNG") << name;
  EXPECT_EQ(fileBytes(dir / "folder/world.png").substr(16, 8), std::string("\0\0\x06\x72\0\0\x04\x1a", 8))
      << "world.png is the field, each cell a 2 x 2 block";
  ASSERT_EQ(std::vector<int>(status, status + 3), std::vector<int>(3, kExitDone));
  EXPECT_FALSE(fileExists(dir / "none.gif"));
  EXPECT_TRUE(fileBytes(dir / "kept.png") == fileBytes(dir / "from-file.png"));
  run("ffmpeg -nostdin -v error -i '" + dir / "run.gif" +
      "' -vf 'select=eq(n\\,2)' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt rgb24 -y '" + dir / "last.rgb" + "'");
  const std::string last = fileBytes(dir / "last.rgb");
  ASSERT_EQ(last.size(), (size_t)825 * 525 * 3);
  EXPECT_GT(std::count_if(last.begin(), last.end(), [](char c) { return c != 0; }), 1000) << "a black picture";
}

TEST_F(PictureTest, VideoTroubleIsFoundBeforeTheFirstFrame) {
  Folder dir;
  struct Case {
    const char* program;
    std::string path;
    const char* said;
  } cases[] = {
      {"ffmpeg", dir / "run.avi", ".mp4, .webm or .gif"},
      {"tarn-no-such-encoder", dir / "run.mp4", "cannot start tarn-no-such-encoder"},
      {"false", dir / "run.mp4", "exit status 1"},
      {"ffmpeg", dir / "missing/run.mp4", "No such file or directory"},
  };
  for (const Case& c : cases) {
    videoEncoderProgram = c.program;
    std::string error;
    EXPECT_FALSE(checkVideoEncoder(c.path, 825, 525, 25, error)) << c.path;
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
  }
  videoEncoderProgram = "ffmpeg";

  // A video left unfinished (the run was stopped) leaves no file behind.
  {
    VideoWriter video;
    std::string error;
    ASSERT_TRUE(video.open(dir / "cut.mp4", 8, 6, 25, error)) << error;
    RgbImage small;
    small.resize(8, 6);
    ASSERT_TRUE(video.writeFrame(small, error));
  }
  EXPECT_EQ(dir.names(), "");
}

// --- Plots -------------------------------------------------------------------

const std::string kSource = TARN_SOURCE_DIR;

TEST_F(PictureTest, RunPlotIsDrawnFromStatsFiles) {
  Folder dir;
  std::string error;
  ASSERT_TRUE(checkPlotter(error)) << error;
  const std::string stats = kSource + "/tests/picture/stats.csv";
  ASSERT_TRUE(drawRunPlot(stats, dir / "run.png", error)) << error;
  RgbImage plot;
  ASSERT_TRUE(readPng(dir / "run.png", plot));
  EXPECT_EQ(plot.width, 1200);
  EXPECT_EQ(plot.height, 1000);
  // tools/plot.sh draws the same with the script file the program has built in.
  ASSERT_EQ(std::system(("bash " + kSource + "/tools/plot.sh " + stats + " " + dir / "by-script.png").c_str()), 0);
  EXPECT_TRUE(fileBytes(dir / "run.png") == fileBytes(dir / "by-script.png"));

  // Failures name the trouble and leave no picture, not even a broken one.
  EXPECT_FALSE(drawRunPlot(dir / "none.csv", dir / "none.png", error));
  EXPECT_NE(error.find("none.csv"), std::string::npos) << error;
  plotterProgram = "tarn-no-such-plotter";
  EXPECT_FALSE(checkPlotter(error));
  EXPECT_NE(error.find("cannot start tarn-no-such-plotter"), std::string::npos) << error;
  plotterProgram = "gnuplot";
  EXPECT_EQ(run("ls -A '" + dir.path() + "' | grep -c png"), "2\n");
}

// --- Screenshots -------------------------------------------------------------

// The Muller plot's layout, worked by hand: lineage 9 nests in 5, and 0
// (the first Unit's) stands beside 5; the Units of none lie at the bottom,
// each lineage's own Units half below and half above those nested in it,
// every edge a share of the Units alive at that row.
TEST_F(PictureTest, MullerLayoutNestsEachLineageInItsParentsArea) {
  Folder dir;
  writeFile(dir / "lineages.csv",
            "frame,lineage,parent,alive\n"
            "100,,,10\n100,0,,0\n100,5,,20\n100,9,5,10\n"
            "200,,,0\n200,0,,10\n200,5,,4\n200,9,5,36\n");
  std::string genes[3];
  for (int k = 0; k < 3; ++k)
    for (int g = 0; g < kGeneCount; ++g) genes[k] += (g ? " " : "") + std::to_string(rules.genes.min[g] + k * (g == 26));
  writeFile(dir / "phylogeny.csv", "id,ancestor_list,origin_time,destruction_time,slot,cause,genome\n"
                                   "0,[NONE],0,inf,3,," + genes[0] + "\n4,[0],1,9,4,age," + genes[1] +
                                   "\n5,[NONE],0,inf,5,," + genes[1] + "\n9,[5],50,inf,9,," + genes[2] + "\n");
  std::string error;
  const std::vector<LineageSummary> major = majorLineages(dir.path(), &error);
  ASSERT_EQ(error, "");
  ASSERT_EQ(major.size(), 3u);
  const int64_t expected[3][6] = {{9, 5, 36, 200, 36, 100}, {5, -1, 20, 100, 4, 100}, {0, -1, 10, 200, 10, 100}};
  for (int k = 0; k < 3; ++k) {
    const LineageSummary& l = major[k];
    EXPECT_EQ((std::vector<int64_t>{l.founder, l.parent, l.peakAlive, l.peakFrame, l.lastAlive, l.firstFrame}),
              std::vector<int64_t>(expected[k], expected[k] + 6));
    EXPECT_EQ(l.lastFrame, 200);
  }
  EXPECT_EQ(major[0].genome, genes[2]);
  EXPECT_EQ(major[2].genome, genes[0]);

  int bands = 0;
  std::string colours;
  ASSERT_TRUE(writeMullerLayout(dir.path(), dir / "layout.csv", &bands, &colours, &error)) << error;
  EXPECT_EQ(bands, 4);
  EXPECT_EQ(colours.substr(0, 8), "#c8c8c8 ");
  EXPECT_EQ(std::count(colours.begin(), colours.end(), '#'), 4);
  EXPECT_EQ(fileBytes(dir / "layout.csv"),
            "100,0,0.250000,0.250000,0.250000,0.250000,1.000000,0.500000,0.750000\n"
            "200,0,0.000000,0.000000,0.200000,0.200000,1.000000,0.240000,0.960000\n");
}

// A time-lapse of every frame: the run draws pictures faster than they are
// written, so the writer's queue fills and its spare pictures go round. The
// run is stopped while it writes one, whose hidden partial file the resumed
// run removes, and no other file of the folder. No picture is lost or drawn
// over, and the page shows twelve of the run's own, evenly spread, the first
// and the last among them.
TEST_F(PictureTest, TimeLapseOfEveryFrameStoppedAndResumedKeepsEachPicture) {
  Folder dir;
  makePictureOutputs = makeRunPictureOutputs;
  writeGlyphPicture = writeGlyphPng;
  StopAtFrame stopper(17);
  ExperimentOptions o;
  o.seed = 3, o.frames = 40, o.every = 1, o.checkpointEvery = 10, o.quiet = true;
  o.out = dir / "run";
  o.pictures.framesDir = dir / "frames";
  subscribe(&stopper);
  const int stopped = runExperiment(o, &stopper.stop);
  unsubscribe(&stopper);
  EXPECT_EQ(stopped, 128 + SIGTERM);
  for (const char* name : {".frame-000020.png.part", "notes.part", ".frame-notes", "frame-00002x.png", "frame-x00020.png"})
    writeFile(dir / "frames/" + name, "not a picture of the run");
  static volatile std::sig_atomic_t never = 0;
  const int resumed = resumeExperiment(o.out, true, {"tarn-sim", "--resume", o.out}, &never);
  makePictureOutputs = nullptr;
  writeGlyphPicture = nullptr;
  ASSERT_EQ(resumed, 0);

  RgbImage last, read;
  drawWorldPicture(last, 1);
  for (int frame = 1; frame <= 40; ++frame) {
    ASSERT_TRUE(readPng(timeLapseName(dir / "frames", frame), read)) << frame;
    ASSERT_EQ(read.width, 825);
    if (frame == 40) {
      EXPECT_TRUE(read.pixels == last.pixels);
    }
  }
  EXPECT_EQ(run("LC_ALL=C ls -A '" + dir / "frames" + "' | grep -v '^frame-0000[0-4][0-9].png$'"),
            ".frame-notes\nframe-00002x.png\nframe-x00020.png\nnotes.part\n");
  EXPECT_EQ(run("ls '" + dir / "frames" + "' | wc -l"), "43\n");  // frames 1 to 40 and three strangers
  const std::string page = fileBytes(dir / "run/report.html");
  EXPECT_EQ(timeLapseStrip(page), "1 4 8 11 15 18 22 25 29 32 36 40 ");
  EXPECT_NE(page.find("<a href=\"../frames/frame-000040.png\">"), std::string::npos);
  EXPECT_NE(page.find("<img class=\"glyph\" src=\"report-glyph.png\""), std::string::npos);
}

TEST_F(PictureTest, ScreenshotsTakeTheNextFreeNumberAndNeverReplaceAFile) {
  Folder dir;
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  std::ofstream("tarn-0001.png") << "someone else's";
  BITMAP* shown = makeBitmap(kScreenWidth, kScreenHeight, rgb(10, 20, 30));
  putpixel(shown, 1023, 767, (int)rgb(255, 128, 1));
  queueScreenshot(shown);
  clear_to_color(shown, (int)rgb(1, 2, 3));  // the copy was taken at once
  queueScreenshot(shown);
  finishScreenshots();
  RgbImage first, second;
  const bool read = readPng("tarn-0002.png", first) && readPng("tarn-0003.png", second);
  const std::string kept = fileBytes("tarn-0001.png");
  ASSERT_EQ(chdir(previous), 0);
  ASSERT_TRUE(read);
  EXPECT_EQ(kept, "someone else's");
  EXPECT_EQ(first.width, 1024);
  EXPECT_EQ(first.height, 768);
  EXPECT_EQ(std::vector<int>(first.row(0), first.row(0) + 3), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(std::vector<int>(first.row(767) + 3 * 1023, first.row(767) + 3 * 1024), (std::vector<int>{255, 128, 1}));
  EXPECT_EQ(std::vector<int>(second.row(767) + 3 * 1023, second.row(767) + 3 * 1024), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(dir.names(), "tarn-0001.png\ntarn-0002.png\ntarn-0003.png\n");
}

}  // namespace
