// Frames composed where they changed against frames composed whole: a busy
// session of the interactive program, driven frame by frame with a
// scripted mouse and keys on memory bitmaps, with the program's own
// artwork and font. After every frame the back buffer must equal the frame
// composed whole, and a bitmap that receives only the regions sent to the
// screen must equal it too. The session's frames are also pinned by one
// digest, recorded from the program as it composed every frame whole.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "app/app.h"
#include "units/params.h"
#include "persist/digest.h"
#include "tools/artwork.h"
#include "ui/compose.h"
#include "ui/composed_frame.h"
#include "tests/support.h"

namespace {

int births = 0, culled = 0, otherDeaths = 0;
struct Counter : SimulationObserver {
  void arrived(int, Arrival how, int) override { births += how == Arrival::Birth; }
  void died(int, DeathCause cause) override { (cause == DeathCause::Cull ? culled : otherDeaths) += 1; }
} counter;

BITMAP* made32(BITMAP* picture) {
  BITMAP* b = create_bitmap_ex(32, picture->w, picture->h);
  blit(picture, b, 0, 0, 0, 0, picture->w, picture->h);
  destroy_bitmap(picture);
  return b;
}

// The top left of the field, where the Units are kept away from at the
// start: a patch of blinkers, planted again before some steps.
constexpr int kBlinkersX = 130, kBlinkersY = 150;

void plantBlinkers() {
  CellField& field = editCellGrids();
  for (int x = 0; x < kBlinkersX; ++x)
    for (int y = 0; y < kBlinkersY; ++y)
      field.cells[cellIndex(x, y)] = x % 5 == 0 && y % 5 >= 1 && y % 5 <= 3 ? Live : Empty;
  for (int x = 0; x <= kBlinkersX; ++x)
    for (int y = 0; y <= kBlinkersY; ++y) {
      int32_t n = 0;
      for (int nx = x - 1; nx <= x + 1; ++nx)
        for (int ny = y - 1; ny <= y + 1; ++ny)
          n += (nx != x || ny != y) && inField(nx, ny) && field.cells[cellIndex(nx, ny)] == Live;
      field.neighbourCounts[cellIndex(x, y)] = n;
    }
}

// One step of the session: `frames` frames with the pointer starting at
// (x, y) and moving by (dx, dy) each frame, the mouse buttons and keys held;
// the blinkers planted first when `plant` is set. A screen button that
// fires holds all of them off for 20 frames: the steps space them out.
struct Step {
  const char* what;
  int frames, x, y, dx, dy, buttons;
  std::initializer_list<int> keys;
  bool plant;
};

// Screen places of the buttons (within their rectangles).
// The middle of a button.
struct Centre {
  int x, y;
  constexpr int operator[](int i) const { return i == 0 ? x : y; }
};
constexpr Centre centre(ButtonId id) { return {buttonRect(id).centreX(), buttonRect(id).centreY()}; }
constexpr Centre kSlotSave = centre(kSaveSlotButton), kSlotLoad = centre(kLoadSlotButton), kPause = centre(kPauseButton);
constexpr Centre kSaveState = centre(kSaveStateButton), kNew = centre(kNewWorldButton), kLoadState = centre(kLoadStateButton);

const Step kSession[] = {
    {"off the world", 3, 600, 20, 0, 0, 0, {}, false},
    {"blinking cells in the magnifier's source, nothing else changing there", 7, 210, 20, 0, 0, 0, {}, true},
    {"a tooltip over blinking cells", 7, 35, 150, 0, 0, 0, {}, true},
    {"a click picks", 1, 500, 300, 0, 0, 1, {}, false},
    {"the cursor on blinking cells, the magnifier on the pick", 7, 212, 72, 0, 0, 0, {}, true},
    {"the slot save button fires", 1, kSlotSave[0], kSlotSave[1], 0, 0, 1, {}, false},
    {"its tooltip", 3, kSlotSave[0], kSlotSave[1], 0, 0, 0, {}, false},
    {"hover walking across the world", 12, 300, 150, 25, 12, 0, {}, false},
    {"the magnifier follows the picked primary", 6, 500, 300, -30, 20, 0, {}, false},
    {"tolerance up: the bar grows, the hover takes more; the slot files are read", 12, 650, 350, 0, 0, 0,
     {KEY_PLUS_PAD}, false},
    {"a click picks many", 1, 650, 350, 0, 0, 1, {}, false},
    {"the slot save button fires again", 1, kSlotSave[0], kSlotSave[1], 0, 0, 1, {}, false},
    {"its tooltip", 2, kSlotSave[0], kSlotSave[1], 0, 0, 0, {}, false},
    {"slot buttons' tooltips", 18, 90, 630, 0, 6, 0, {}, false},
    {"the active slot is planted into the picked", 1, kSlotLoad[0], kSlotLoad[1], 0, 0, 1, {}, false},
    {"its tooltip", 2, kSlotLoad[0], kSlotLoad[1], 0, 0, 0, {}, false},
    {"the right button clears", 1, 650, 350, 0, 0, 2, {}, false},
    {"tolerance down", 5, 650, 350, 0, 0, 0, {KEY_MINUS_PAD}, false},
    {"hover walking back; the slot files are read", 12, 900, 500, -40, -20, 0, {}, false},
    {"pause", 1, kPause[0], kPause[1], 0, 0, 1, {}, false},
    {"paused: a click picks", 1, 400, 250, 0, 0, 1, {}, false},
    {"paused: the cursor across the magnifier's output", 6, 870, 610, 12, 12, 0, {}, false},
    {"paused: hover walking", 13, 400, 200, 30, 20, 0, {}, false},
    {"pause again", 1, kPause[0], kPause[1], 0, 0, 1, {}, false},
    {"slot keys", 2, 600, 20, 0, 0, 0, {KEY_2}, false},
    {"the graph scrolls", 18, 600, 20, 0, 0, 0, {}, false},
    {"save the state", 1, kSaveState[0], kSaveState[1], 0, 0, 1, {}, false},
    {"the space bar raises the level", 3, 1010, 40, 0, 0, 0, {KEY_SPACE}, false},
    {"the right button clears", 1, 600, 20, 0, 0, 2, {}, false},
    {"one tooltip", 2, 40, 150, 0, 0, 0, {}, false},
    {"another of the same length, in the same place", 2, 130, 150, 0, 0, 0, {}, false},
    {"the top left corner", 2, 0, 0, 0, 0, 0, {}, false},
    {"the bottom right corner", 2, 1023, 767, 0, 0, 0, {}, false},
    {"over the magnifier's own output", 3, 900, 650, 5, 5, 0, {}, false},
    {"over the graph", 3, 500, 680, 0, 0, 0, {}, false},
    {"the world's far corner", 2, 1007, 568, 0, 0, 0, {}, false},
    {"a tooltip reaching over the world", 5, 35, 150, 0, 0, 0, {}, false},
    {"New", 1, kNew[0], kNew[1], 0, 0, 1, {}, false},
    {"an empty world seeds itself", 20, 500, 500, 0, 0, 0, {}, false},
    {"load the state", 1, kLoadState[0], kLoadState[1], 0, 0, 1, {}, false},
    {"the loaded world", 6, 500, 500, -20, -20, 0, {}, false},
};

class IncrementalFrames : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    oldDir = here;
    char pattern[] = "/tmp/incremental-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(chdir(dir.c_str()), 0);

    backBuffer = create_bitmap(kScreenWidth, kScreenHeight);
    backgroundImage = made32(artwork::drawBackground());
    cursorImage = made32(artwork::drawCursor());
    graphBitmap = create_bitmap(kGraphWidth, kGraphHeight);
    screenCopy = makeBitmap(kScreenWidth, kScreenHeight);
    clear_to_color(graphBitmap, makecol(255, 0, 255));
    PALETTE pal;
    BITMAP* sheet = artwork::drawFontSheet(pal);
    ASSERT_EQ(save_bitmap(artwork::kFontFile, sheet, pal), 0);
    destroy_bitmap(sheet);
    uiFont = load_font(artwork::kFontFile, nullptr, nullptr);
    ASSERT_NE(uiFont, nullptr);
    std::remove(artwork::kFontFile);
    initMagnifier(kMagnifierFactor);
    subscribe(&counter);
  }

  void TearDown() override {
    unsubscribe(&counter);
    checkComposedFrames = false;
    releaseResources();
    EXPECT_EQ(chdir(oldDir.c_str()), 0);
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') std::remove((dir + "/" + e->d_name).c_str());
      closedir(d);
    }
    rmdir(dir.c_str());
    DrawingTest::TearDown();
  }

  // A crowded, churning world: a soup of cells, 990 random Units, most of
  // them of one kin so that the first frame's count culls them, some ready
  // to breed, none near the blinkers, three where their glyphs leave the
  // field, one far off the screen.
  void makeWorld() {
    seedRandom(20240611);
    CellField& field = editCellGrids();
    for (int x = 0; x < kWorldWidth; ++x)
      for (int y = 0; y < kWorldHeight; ++y)
        if (randomRange(0, 5) == 0) field.cells[cellIndex(x, y)] = field.nextCells[cellIndex(x, y)] = Live;
    for (int x = 0; x < kWorldWidth; ++x)
      for (int y = 0; y < kWorldHeight; ++y)
        if (field.cells[cellIndex(x, y)] == Live)
          for (int nx = x - 1; nx <= x + 1; ++nx)
            for (int ny = y - 1; ny <= y + 1; ++ny)
              if ((nx != x || ny != y) && inField(nx, ny)) ++field.neighbourCounts[cellIndex(nx, ny)];
    Genome genome;
    for (int u = 0; u < 990; ++u) {
      randomGenome(genome, rules.genes);
      if (u % 40 != 0) genome[12] = 1600;  // one kin marker: these do not fight
      const int slot = spawnUnit(randomRange(0, kWorldWidth - 1), randomRange(0, kWorldHeight - 1), genome);
      if (units.posX[slot] < kBlinkersX + 40 && units.posY[slot] < kBlinkersY + 40)
        units.posX[slot] = units.homeX[slot] = units.posX[slot] + 300;  // away from the blinkers
      if (slot % 10 == 5) {  // at home, ready to breed
        units.mode[slot] = Breed;
        units.stock[slot] = 2000000000;
        units.posX[slot] = units.homeX[slot];
        units.posY[slot] = units.homeY[slot];
      }
    }
    const int32_t places[][2] = {{-3, -3}, {kWorldWidth - 1, kWorldHeight + 1}, {-190, 300}, {100000, 5}};
    for (int k = 0; k < 4; ++k) {
      units.posX[100 * k + 7] = units.homeX[100 * k + 7] = places[k][0];
      units.posY[100 * k + 7] = units.homeY[100 * k + 7] = places[k][1];
    }
    simulation.reseeding = 0;
    simulation.livingCount = 990;
    simulation.foodDivisor = 0.5f;
  }

  std::string dir, oldDir;
  BITMAP* screenCopy = nullptr;
};

TEST_F(IncrementalFrames, BusySessionShowsTheWholeFramesPixelForPixel) {
  makeWorld();
  checkComposedFrames = true;
  frameDifferences = 0;
  births = culled = otherDeaths = 0;
  std::string digests;
  int frame = 0;
  for (const Step& step : kSession) {
    if (step.plant) plantBlinkers();
    for (int f = 0; f < step.frames; ++f, ++frame) {
      input.mouseX = step.x + f * step.dx;
      input.mouseY = step.y + f * step.dy;
      input.mouseB = step.buttons;
      for (bool& k : input.keys) k = false;
      for (int k : step.keys) input.keys[k] = true;
      ASSERT_TRUE(runFrame());
      sendChangedRegions(composedFrame(), backBuffer, screenCopy);
      ASSERT_EQ(frameDifferences, 0) << step.what << ": " << firstFrameDifference;
      std::string rows;
      for (int y = 0; y < kScreenHeight; ++y)
        rows.append(reinterpret_cast<const char*>(backBuffer->line[y]), sizeof(uint32_t) * kScreenWidth);
      digests += sha256Hex(rows.data(), rows.size());
    }
  }
  // The session went through what it means to.
  EXPECT_GT(culled, 0);
  EXPECT_GT(otherDeaths, 0);
  EXPECT_GT(births, 0);
  EXPECT_EQ(sha256Hex(digests.data(), digests.size()), "5cc7051c5256063e4fe6ab4b67040298e9dee7875ece34140df9096c9ec43b4a")
      << frame << " frames";
}

// What the composer keeps decides what is drawn again and sent: a frame in
// which nothing changed sends nothing, a Unit that steps one cell sends only
// the tiles it covered and covers, and one that dies only those it covered;
// the frame check finds what the composer failed to draw.
TEST_F(IncrementalFrames, OnlyWhatChangedIsSent) {
  makeWorld();
  paused = 1;
  checkComposedFrames = true;
  frameDifferences = 0;
  hoverSelection.clear();
  pickedSelection.clear();
  input.mouseX = input.mouseY = 5;  // off the world, the buttons and the magnifier's square
  input.mouseB = 0;
  for (bool& k : input.keys) k = false;
  ComposedFrame& record = composedFrame();
  auto sent = [&] {
    int64_t area = 0;
    for (int n = 0; n < record.pending.count; ++n) {
      const ScreenRect& r = record.pending.rects[n];
      area += (int64_t)(r.x1 - r.x0) * (r.y1 - r.y0);
    }
    sendChangedRegions(record, backBuffer, screenCopy);
    return area;
  };
  int slot = 0;
  while (units.status[slot] != Alive || units.posX[slot] < 400 || units.posY[slot] < 200 || units.posY[slot] > 400) ++slot;

  ASSERT_TRUE(runFrame());
  EXPECT_EQ(sent(), kScreenWidth * kScreenHeight);
  ASSERT_TRUE(runFrame());
  EXPECT_EQ(sent(), 0);
  units.posX[slot] += 1;
  ASSERT_TRUE(runFrame());
  const int64_t stepped = sent();
  EXPECT_GT(stepped, 0);
  EXPECT_LE(stepped, 2 * 2 * 64);  // the glyph's 7 x 6 pixels lie on 2 x 2 tiles at most
  units.status[slot] = Dead;
  ASSERT_TRUE(runFrame());
  const int64_t died = sent();
  EXPECT_GT(died, 0);
  EXPECT_LE(died, 2 * 2 * 64);
  EXPECT_EQ(frameDifferences, 0) << firstFrameDifference;
  // The frame check itself: a back-buffer pixel the composer did not draw
  // is named in the next frame, with the whole frame's.
  const int whole = getpixel(backBuffer, 190, 560);
  putpixel(backBuffer, 190, 560, makecol(1, 2, 3));
  ASSERT_TRUE(runFrame());
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "frame %ld: the back buffer differs from the whole frame at (190, 560): %06x, not %06x",
                record.composedFrames, (unsigned)makecol(1, 2, 3), (unsigned)whole);
  EXPECT_EQ(frameDifferences, 1);
  EXPECT_STREQ(firstFrameDifference, expected);
  paused = 0;
}

}  // namespace
