// Whole frames of the interactive program: runFrame with a scripted mouse and
// keys, Allegro started without a display (no screen to copy to) and memory
// bitmaps for the back buffer, pictures and graph. The checks follow what the
// order of the frame's steps makes visible: the simulation before the hover,
// the prune before the drawing, the right-button clear after it, then the
// buttons, the keys and the population regulation.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/app.h"
#include "persist/notice.h"
#include "tools/artwork.h"
#include "ui_testing.h"

namespace {

uint32_t background() { return rgb(16, 32, 48); }
uint32_t cursorInk() { return rgb(1, 2, 3); }
uint32_t cellColour() { return rgb(50, 160, 160); }
uint32_t red() { return rgb(255, 0, 0); }
uint32_t white() { return rgb(255, 255, 255); }
uint32_t mask() { return rgb(255, 0, 255); }
uint32_t sampleColour() { return rgb(100, 255, 225); }

// A genome whose Unit stays where it is, alive, and sows nothing: it travels
// home (where it already stands) with no energy cost, never farms, breeds or
// fights, and lives "forever". Gene 0 is its only high glyph gene among the
// first, so the glyph's top left pixel is drawn dark: (160, 96, 32).
Genome parkedGenome() {
  Genome g = genomeWhere([](int k) { return k == 0; });
  g[2] = 200;
  g[3] = 120;
  g[7] = 40;
  g[6] = 0;         // never too weak to travel
  g[10] = 0;        // walking costs nothing
  g[11] = 0;        // never farms
  g[13] = 1000000;  // never breeds
  g[16] = 0;        // never turns outward
  g[19] = 0;        // reaches nobody
  for (int k = 20; k <= 31; ++k) g[k] = 0;  // an empty seed pattern
  g[35] = 1000000;
  return g;
}
uint32_t glyphCorner() { return rgb(160, 96, 32); }

// A copy of g at genome distance delta / 36 (gene 1 moved by delta).
Genome shifted(Genome g, int32_t delta) {
  g[1] += delta;
  return g;
}

int screenX(int cellX) { return cellX + WorldOffsetX; }
int screenY(int cellY) { return cellY + WorldOffsetY; }

int aliveCount() {
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u) n += units.status[u] == Alive;
  return n;
}

// A Live cell with the counts a recount would give its neighbours.
void placeLive(int x, int y) {
  editCellGrids().cells[cellIndex(x, y)] = Live;
  for (int nx = x - 1; nx <= x + 1; ++nx)
    for (int ny = y - 1; ny <= y + 1; ++ny)
      if ((nx != x || ny != y) && inField(nx, ny)) ++editCellGrids().neighbourCounts[cellIndex(nx, ny)];
}

// A horizontal blinker centred on (x, y).
void placeBlinker(int x, int y) {
  for (int dx = -1; dx <= 1; ++dx) placeLive(x + dx, y);
}
bool blinkerIsHorizontal(int x, int y) {
  auto live = [](int cx, int cy) { return editCellGrids().cells[cellIndex(cx, cy)] == Live; };
  return live(x - 1, y) && live(x, y) && live(x + 1, y) && !live(x, y - 1) && !live(x, y + 1);
}
bool blinkerIsVertical(int x, int y) {
  auto live = [](int cx, int cy) { return editCellGrids().cells[cellIndex(cx, cy)] == Live; };
  return live(x, y - 1) && live(x, y) && live(x, y + 1) && !live(x - 1, y) && !live(x + 1, y);
}

std::vector<int32_t> readInts(const char* name) {
  std::vector<int32_t> values;
  FILE* f = std::fopen(name, "r");
  if (!f) return values;
  int v;
  while (std::fscanf(f, "%d", &v) == 1) values.push_back(v);
  std::fclose(f);
  return values;
}

bool fileExists(const char* name) { return access(name, F_OK) == 0; }

class FrameTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    seedRandom(12345);
    fileNoticeHook = nullptr;
    reseeding = 0;

    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    oldDir = here;
    char pattern[] = "/tmp/frame-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_EQ(chdir(dir.c_str()), 0);

    ASSERT_EQ(screen, nullptr);
    backBuffer = create_bitmap(kScreenWidth, kScreenHeight);
    backgroundImage = create_bitmap(kScreenWidth, kScreenHeight);
    cursorImage = create_bitmap(20, 20);
    graphBitmap = create_bitmap(659, 140);
    ASSERT_TRUE(backBuffer && backgroundImage && cursorImage && graphBitmap);
    clear_to_color(backBuffer, 0);
    clear_to_color(backgroundImage, (int)background());
    // A pointer that paints a single pixel, at the mouse point itself.
    clear_to_color(cursorImage, (int)mask());
    putpixel(cursorImage, 0, 0, (int)cursorInk());
    clear_to_color(graphBitmap, (int)mask());

    // The program's own generated font, loaded as the program loads it.
    PALETTE pal;
    BITMAP* sheet = artwork::drawFontSheet(pal);
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(save_bitmap(artwork::kFontFile, sheet, pal), 0);
    destroy_bitmap(sheet);
    uiFont = load_font(artwork::kFontFile, nullptr, nullptr);
    ASSERT_NE(uiFont, nullptr);
    std::remove(artwork::kFontFile);
    initMagnifier(3);
  }

  void TearDown() override {
    releaseResources();
    if (!oldDir.empty()) {
      EXPECT_EQ(chdir(oldDir.c_str()), 0);
    }
    if (!dir.empty()) {
      if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
          if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
          std::remove((dir + "/" + e->d_name).c_str());
        }
        closedir(d);
      }
      rmdir(dir.c_str());
    }
    UiTest::TearDown();
  }

  // One frame with the pointer at screen point (x, y), the given mouse
  // buttons and the given keys held.
  bool frame(int x, int y, int buttons = 0, std::initializer_list<int> keys = {}) {
    input.mouseX = x;
    input.mouseY = y;
    input.mouseB = buttons;
    for (bool& k : input.keys) k = false;
    for (int k : keys) input.keys[k] = true;
    return runFrame();
  }
  // A frame with the pointer off the world and off every button.
  bool idleFrame(std::initializer_list<int> keys = {}) { return frame(kIdleX, kIdleY, 0, keys); }
  // A left click on a screen button, whatever the shared cooldown says.
  bool click(int x, int y, int buttons = 1, std::initializer_list<int> keys = {}) {
    buttonCooldown = 0;
    return frame(x, y, buttons, keys);
  }

  // A parked Unit (see parkedGenome) at cell (x, y).
  void park(int slot, int x, int y, const Genome& g, int32_t age = 0) {
    placeUnit(slot, x, y, g);
    units.mode[slot] = Homeward;
    units.homeX[slot] = units.targetX[slot] = x;
    units.homeY[slot] = units.targetY[slot] = y;
    units.awayX[slot] = x;
    units.awayY[slot] = y;
    units.energy[slot] = 1000.0f;
    units.age[slot] = age;
    units.searchRadius[slot] = 0;
    units.paceCounter[slot] = 0;
    units.stock[slot] = 0;
    units.sowTimer[slot] = 0;
  }
  // Five parked Units far off in slots 20 to 24, unlike anything else: they
  // keep the count above the re-seed threshold.
  void parkCrowd() {
    for (int i = 0; i < 5; ++i) park(20 + i, 800, 100 + 20 * i, shifted(parkedGenome(), 500));
  }

  uint32_t at(int x, int y) { return pixelAt(backBuffer, x, y); }
  // The circle of the given radius around the Unit drawn at cell (x, y), seen
  // at its left and top points (the pointer paints only right of and below
  // the mouse point).
  bool circled(int x, int y, int radius, uint32_t colour) {
    return at(screenX(x) - radius, screenY(y)) == colour && at(screenX(x), screenY(y) - radius) == colour;
  }
  bool glyphDrawn(int x, int y) { return at(screenX(x) - 3, screenY(y) - 3) == glyphCorner(); }

  // The magnifier holds the threefold enlargement of the 50 x 50 square
  // around screen point (cx, cy) of the composed frame. The square must lie
  // clear of the magnifier; the pointer pixel, painted after it, is skipped.
  bool magnifiedAround(int cx, int cy) {
    for (int Y = 0; Y < 150; ++Y)
      for (int X = 0; X < 150; ++X) {
        const int sx = cx - 25 + X / 3, sy = cy - 25 + Y / 3;
        if (sx == input.mouseX && sy == input.mouseY) continue;
        const uint32_t expected = (sx > 0 && sx < 1024 && sy > 0 && sy < 768) ? at(sx, sy) : 0;
        if (at(852 + X, 599 + Y) != expected) return false;
      }
    return true;
  }

  static constexpr int kIdleX = 600, kIdleY = 20;
  std::string dir, oldDir;
};

constexpr int FrameTest::kIdleX;
constexpr int FrameTest::kIdleY;

class FrameOrder : public FrameTest {};
class FrameEsc : public FrameTest {};
class FramePause : public FrameTest {};
class FrameKeys : public FrameTest {};
class FrameButtons : public FrameTest {};

// --- Order of the steps within a frame ----------------------------------

TEST_F(FrameOrder, LeftAndRightTogetherPickForTheDrawingThenClear) {
  parkCrowd();
  park(2, 300, 200, parkedGenome());
  // The mouse 30 cells right of the Unit: it is still the nearest.
  const int mx = screenX(330), my = screenY(200);
  ASSERT_TRUE(frame(mx, my, 1 | 2));
  EXPECT_EQ(hoverSelection.primary(), 2);
  EXPECT_EQ(pickedSelection.primary(), -1);
  for (int e = 0; e < kMaxUnits; ++e) ASSERT_EQ(pickedSelection.ids[e], -1) << e;
  // The frame was drawn with the copy in place: markers of both radii, and
  // the magnifier on the picked primary rather than on the mouse.
  EXPECT_TRUE(glyphDrawn(300, 200));
  EXPECT_TRUE(circled(300, 200, 5, red()));
  EXPECT_TRUE(circled(300, 200, 10, red()));
  EXPECT_TRUE(magnifiedAround(screenX(300), screenY(200)));
  EXPECT_FALSE(magnifiedAround(mx, my));
  EXPECT_EQ(at(mx, my), cursorInk());

  // Nothing held: the picked selection stays empty and the magnifier follows
  // the mouse.
  ASSERT_TRUE(frame(mx, my));
  EXPECT_EQ(pickedSelection.primary(), -1);
  EXPECT_TRUE(circled(300, 200, 10, red()));  // still hovered
  EXPECT_TRUE(magnifiedAround(mx, my));
}

TEST_F(FrameOrder, RightClickStillShowsTheOldPickInItsFrame) {
  parkCrowd();
  park(2, 300, 200, parkedGenome());
  ASSERT_TRUE(frame(screenX(300), screenY(200), 1));
  ASSERT_EQ(pickedSelection.primary(), 2);

  // A left click off the world changes nothing; the pick is drawn white
  // (nothing hovered) and the magnifier stays on it.
  ASSERT_TRUE(frame(kIdleX, kIdleY, 1));
  EXPECT_EQ(pickedSelection.primary(), 2);
  EXPECT_EQ(hoverSelection.primary(), -1);
  EXPECT_TRUE(circled(300, 200, 5, white()));
  EXPECT_TRUE(circled(300, 200, 10, white()));

  // The right button: that frame still shows the pick and magnifies it...
  ASSERT_TRUE(frame(kIdleX, kIdleY, 2));
  EXPECT_EQ(pickedSelection.primary(), -1);
  EXPECT_TRUE(circled(300, 200, 5, white()));
  EXPECT_TRUE(circled(300, 200, 10, white()));
  EXPECT_TRUE(magnifiedAround(screenX(300), screenY(200)));

  // ...and the next one neither.
  ASSERT_TRUE(idleFrame());
  EXPECT_TRUE(glyphDrawn(300, 200));
  EXPECT_TRUE(circled(300, 200, 5, background()));
  EXPECT_TRUE(circled(300, 200, 10, background()));
  EXPECT_TRUE(magnifiedAround(kIdleX, kIdleY));
  EXPECT_FALSE(magnifiedAround(screenX(300), screenY(200)));
}

TEST_F(FrameOrder, UnitKilledByThisFramesTickIsGoneBeforeHoverAndDrawing) {
  parkCrowd();
  const Genome g = parkedGenome();
  park(4, 300, 200, g, g[35] - 1);  // ages past its lifespan in its next tick but one
  park(5, 320, 200, g);
  tolerance = 0.5f;
  ASSERT_TRUE(frame(screenX(300), screenY(200), 1));
  ASSERT_EQ(pickedSelection.primary(), 4);
  ASSERT_EQ(pickedSelection.contains(5), 1);
  ASSERT_EQ(units.status[4], Alive);

  // The pointer 5 cells right of Unit 4, which dies in this frame's tick.
  ASSERT_TRUE(frame(screenX(305), screenY(200)));
  EXPECT_EQ(units.status[4], Dead);
  // The hover was built after the tick: the nearest Alive Unit is 5.
  EXPECT_EQ(hoverSelection.primary(), 5);
  // The picked selection lost its primary before the drawing...
  EXPECT_EQ(pickedSelection.primary(), -1);
  EXPECT_EQ(pickedSelection.contains(4), 0);
  EXPECT_EQ(pickedSelection.contains(5), 1);
  // ...so Unit 4 has neither glyph nor markers, Unit 5 is ringed as the
  // hover primary, and the magnifier follows the mouse although Unit 5 is
  // still picked.
  EXPECT_EQ(at(screenX(300) - 3, screenY(200) - 3), background());
  EXPECT_EQ(at(screenX(300) - 5, screenY(200)), background());
  EXPECT_EQ(at(screenX(300), screenY(200) - 10), background());
  EXPECT_TRUE(glyphDrawn(320, 200));
  EXPECT_TRUE(circled(320, 200, 5, red()));
  EXPECT_TRUE(circled(320, 200, 10, red()));
  EXPECT_TRUE(magnifiedAround(screenX(305), screenY(200)));
  EXPECT_FALSE(magnifiedAround(screenX(300), screenY(200)));
  EXPECT_FALSE(magnifiedAround(screenX(320), screenY(200)));
}

TEST_F(FrameOrder, ToleranceKeysActAfterTheHoverAndTheDrawing) {
  paused = 1;
  const Genome g = parkedGenome();
  park(0, 300, 200, g);
  park(1, 340, 200, shifted(g, 18));  // genome distance exactly 0.5
  tolerance = 0.4f;

  // Keypad plus: this frame's hover and bar still use 0.4.
  ASSERT_TRUE(frame(screenX(300), screenY(200), 0, {KEY_PLUS_PAD}));
  EXPECT_EQ(tolerance, (float)((double)0.4f + 0.2));
  EXPECT_EQ(hoverSelection.primary(), 0);
  EXPECT_EQ(hoverSelection.contains(1), 0);
  EXPECT_TRUE(circled(340, 200, 5, background()));
  EXPECT_EQ(at(52, 148), background());  // 0.4 draws no bar

  ASSERT_TRUE(frame(screenX(300), screenY(200)));
  EXPECT_EQ(hoverSelection.contains(1), 1);
  EXPECT_TRUE(circled(340, 200, 5, red()));
  EXPECT_TRUE(circled(340, 200, 10, background()));
  EXPECT_EQ(at(53, 148), rgb(0, 255, 225));  // 0.6: a bar two pixels wide
  EXPECT_EQ(at(54, 148), background());

  // Keypad minus: Unit 1 is hovered once more with the old tolerance.
  const float before = tolerance;
  ASSERT_TRUE(frame(screenX(300), screenY(200), 0, {KEY_MINUS_PAD}));
  EXPECT_EQ(tolerance, (float)((double)before - 0.2));
  EXPECT_EQ(hoverSelection.contains(1), 1);
  ASSERT_TRUE(frame(screenX(300), screenY(200)));
  EXPECT_EQ(hoverSelection.contains(1), 0);
}

TEST_F(FrameOrder, ButtonsSeeTheRightClearAndComeBeforeTheKeys) {
  paused = 1;
  park(2, 300, 200, parkedGenome());
  ASSERT_TRUE(frame(screenX(300), screenY(200), 1));
  ASSERT_EQ(pickedSelection.primary(), 2);

  // A right click on "save primary to slot" finds the selection cleared.
  ASSERT_TRUE(click(60, 744, 2));
  EXPECT_EQ(pickedSelection.primary(), -1);
  EXPECT_FALSE(fileExists("sample0.dna"));

  // A slot button and key 2 in one frame: the button first, then the key.
  ASSERT_TRUE(click(80, 680, 1, {KEY_2}));  // slot 3
  EXPECT_EQ(activeSlot, 4);
  ASSERT_TRUE(click(80, 728, 1, {KEY_2}));  // slot 6, then the wrap
  EXPECT_EQ(activeSlot, 0);
}

TEST_F(FrameOrder, StatusPanelShowsTheCountOfThePreviousFrame) {
  parkCrowd();
  livingCount = 400;
  graphTimer = 0;
  ASSERT_TRUE(idleFrame());
  // The graph scrolled with the old count (row 70); the count came after.
  EXPECT_EQ(pixelAt(graphBitmap, 658, 70), sampleColour());
  EXPECT_EQ(pixelAt(graphBitmap, 658, 139), mask());
  EXPECT_EQ(livingCount, 5);
  EXPECT_EQ(at(173 + 658, 602 + 70), sampleColour());

  for (int f = 0; f < 3; ++f) ASSERT_TRUE(idleFrame());
  EXPECT_EQ(pixelAt(graphBitmap, 657, 70), mask());  // no scroll yet
  ASSERT_TRUE(idleFrame());                          // the fifth frame scrolls
  EXPECT_EQ(pixelAt(graphBitmap, 657, 70), sampleColour());
  EXPECT_EQ(pixelAt(graphBitmap, 658, 139), sampleColour());  // 5 Units: row 139
  EXPECT_EQ(pixelAt(graphBitmap, 658, 138), rgb(0, 150, 140));
}

// --- ESC -------------------------------------------------------------

TEST_F(FrameEsc, EscEndsTheLoopWithNothingOfTheFrameRun) {
  parkCrowd();
  const Genome g = parkedGenome();
  park(3, 300, 200, g, g[35]);  // would die in this frame's tick
  placeBlinker(400, 300);
  pickedSelection.ids[0] = 3;
  pickedSelection.ids[1] = 21;
  hoverSelection.ids[0] = 22;  // left over: a frame would clear it
  livingCount = 42;
  graphTimer = 0;
  foodDivisor = 1.0f;
  tolerance = 3.0f;
  activeSlot = 2;
  const uint32_t sentinel = rgb(7, 7, 7);
  clear_to_color(backBuffer, (int)sentinel);

  // Pointer held on "Toggle Pause", and every key the frame reads.
  EXPECT_FALSE(frame(100, 90, 1, {KEY_ESC, KEY_SPACE, KEY_PLUS_PAD, KEY_1}));
  EXPECT_EQ(generationPhase, 0);
  EXPECT_TRUE(blinkerIsHorizontal(400, 300));
  EXPECT_EQ(units.status[3], Alive);
  EXPECT_EQ(units.age[3], g[35]);
  EXPECT_EQ(pickedSelection.ids[0], 3);
  EXPECT_EQ(pickedSelection.ids[1], 21);
  EXPECT_EQ(hoverSelection.ids[0], 22);
  EXPECT_EQ(livingCount, 42);
  EXPECT_EQ(graphTimer, 0);
  EXPECT_EQ(pixelAt(graphBitmap, 658, 139), mask());
  EXPECT_EQ(foodDivisor, 1.0f);
  EXPECT_EQ(tolerance, 3.0f);
  EXPECT_EQ(activeSlot, 2);
  EXPECT_EQ(paused, 0);
  EXPECT_EQ(buttonCooldown, 0);
  EXPECT_STREQ(tooltipText, "");
  BITMAP* untouched = create_bitmap(kScreenWidth, kScreenHeight);
  ASSERT_NE(untouched, nullptr);
  clear_to_color(untouched, (int)sentinel);
  EXPECT_EQ(differingPixels(backBuffer, untouched), 0);
  destroy_bitmap(untouched);

  // The same frame without ESC runs whole.
  EXPECT_TRUE(frame(100, 90, 1, {KEY_SPACE, KEY_PLUS_PAD, KEY_1}));
  EXPECT_EQ(generationPhase, 1);
  EXPECT_TRUE(blinkerIsVertical(400, 300));
  EXPECT_EQ(units.status[3], Dead);
  EXPECT_EQ(pickedSelection.ids[0], -1);
  EXPECT_EQ(paused, 1);
  EXPECT_STREQ(tooltipText, "Toggle Pause");
  EXPECT_EQ(activeSlot, 1);
  EXPECT_EQ(tolerance, (float)((double)3.0f + 0.2));
  EXPECT_EQ(foodDivisor, (float)((double)1.0f + 0.05));
  EXPECT_EQ(at(0, 0), background());
}

// --- Pause -----------------------------------------------------------

TEST_F(FramePause, PauseStopsSimulationGraphAndRegulationButNotTheRest) {
  const Genome g = parkedGenome();
  park(3, 300, 200, g, g[35]);  // dies in the first tick it gets
  placeBlinker(100, 450);
  reseeding = 1;  // a regulation step would spawn and reset foodDivisor
  livingCount = 77;
  foodDivisor = 1.0f;
  graphTimer = 0;
  paused = 1;

  ASSERT_TRUE(frame(screenX(300), screenY(200), 1));
  ASSERT_TRUE(frame(screenX(300), screenY(200)));
  ASSERT_TRUE(frame(screenX(300), screenY(200), 0, {KEY_SPACE}));
  // Nothing of the simulation, the graph or the regulation ran.
  EXPECT_EQ(generationPhase, 0);
  EXPECT_TRUE(blinkerIsHorizontal(100, 450));
  EXPECT_EQ(units.status[3], Alive);
  EXPECT_EQ(units.age[3], g[35]);
  EXPECT_EQ(aliveCount(), 1);
  EXPECT_EQ(livingCount, 77);
  EXPECT_EQ(reseeding, 1);
  for (int x = 0; x < 659; ++x) ASSERT_EQ(pixelAt(graphBitmap, x, 139), mask()) << x;
  EXPECT_EQ(graphTimer, 0);
  // The keys still act, and no re-seed frame takes the raise back.
  EXPECT_EQ(foodDivisor, (float)((double)1.0f + 0.05));
  // Selection and drawing go on.
  EXPECT_EQ(pickedSelection.primary(), 3);
  EXPECT_TRUE(glyphDrawn(300, 200));
  EXPECT_TRUE(circled(300, 200, 10, red()));
  for (int dx = -1; dx <= 1; ++dx) EXPECT_EQ(at(screenX(100 + dx), screenY(450)), cellColour());
  EXPECT_EQ(at(screenX(300), screenY(200)), cursorInk());
  EXPECT_TRUE(magnifiedAround(screenX(300), screenY(200)));

  // The pause button works while paused. The simulation step of this frame
  // came before it, the regulation after it: a Unit is spawned at once.
  ASSERT_TRUE(click(100, 90));
  EXPECT_EQ(paused, 0);
  EXPECT_EQ(generationPhase, 0);
  EXPECT_EQ(units.age[3], g[35]);
  EXPECT_EQ(livingCount, 2);
  EXPECT_EQ(aliveCount(), 2);
  EXPECT_EQ(foodDivisor, 0.5f);
  EXPECT_EQ(pixelAt(graphBitmap, 658, 139), mask());  // drawn while still paused

  // The first running frame: a generation, the tick, and the graph scrolls
  // at once since its timer ran down during the pause.
  ASSERT_TRUE(idleFrame());
  EXPECT_EQ(generationPhase, 1);
  EXPECT_TRUE(blinkerIsVertical(100, 450));
  EXPECT_EQ(units.status[3], Dead);
  EXPECT_EQ(pixelAt(graphBitmap, 658, 139), sampleColour());  // 2 Units
  EXPECT_EQ(pixelAt(graphBitmap, 658, 138), rgb(0, 150, 140));

  // Pausing in a running frame: that frame still simulated, but did not
  // count the population.
  livingCount = 555;
  ASSERT_TRUE(click(100, 90));
  EXPECT_EQ(paused, 1);
  EXPECT_EQ(generationPhase, 2);
  EXPECT_EQ(livingCount, 555);
  ASSERT_TRUE(idleFrame());
  EXPECT_EQ(generationPhase, 2);
  EXPECT_TRUE(blinkerIsVertical(100, 450));
}

// --- Keys ------------------------------------------------------------

TEST_F(FrameKeys, TolerancePlusAndMinusStepByPointTwoWithinZeroToForty) {
  paused = 1;
  auto step = [](float t, double d) { return (float)((double)t + d); };
  auto clamp = [](float t) { return t < 0.0f ? 0.0f : t > 40.0f ? 40.0f : t; };

  float expected = 0.0f;
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(idleFrame({KEY_PLUS_PAD}));
    expected = step(expected, 0.2);
    EXPECT_EQ(tolerance, expected) << "frame " << f;
  }
  EXPECT_NEAR(tolerance, 0.6f, 1e-6);

  // Both together: +0.2, then -0.2, each rounded to float, then the clamp.
  ASSERT_TRUE(idleFrame({KEY_PLUS_PAD, KEY_MINUS_PAD}));
  expected = clamp(step(step(expected, 0.2), -0.2));
  EXPECT_EQ(tolerance, expected);

  tolerance = 0.3f;
  ASSERT_TRUE(idleFrame({KEY_MINUS_PAD}));
  EXPECT_EQ(tolerance, step(0.3f, -0.2));
  ASSERT_TRUE(idleFrame({KEY_MINUS_PAD}));  // about -0.1: held at 0
  EXPECT_EQ(tolerance, 0.0f);
  ASSERT_TRUE(idleFrame({KEY_MINUS_PAD}));
  EXPECT_EQ(tolerance, 0.0f);

  tolerance = 39.9f;
  ASSERT_TRUE(idleFrame({KEY_PLUS_PAD}));
  EXPECT_EQ(tolerance, 40.0f);
  ASSERT_TRUE(idleFrame({KEY_PLUS_PAD}));
  EXPECT_EQ(tolerance, 40.0f);

  // The clamp also holds what the tolerance buttons did in the frame.
  ASSERT_TRUE(click(130, 150));  // increase, at 40
  EXPECT_EQ(tolerance, 40.0f);
  ASSERT_TRUE(click(130, 150, 1, {KEY_MINUS_PAD}));  // +0.2 -0.2 from 40
  EXPECT_EQ(tolerance, clamp(step(step(40.0f, 0.2), -0.2)));
  tolerance = 0.1f;
  ASSERT_TRUE(click(40, 150));  // decrease below 0
  EXPECT_EQ(tolerance, 0.0f);
  ASSERT_TRUE(click(40, 150, 1, {KEY_PLUS_PAD}));  // -0.2 +0.2 from 0, clamped after both
  EXPECT_EQ(tolerance, clamp(step(step(0.0f, -0.2), 0.2)));
}

TEST_F(FrameKeys, Keys1And2StepTheActiveSlotWithWrap) {
  paused = 1;
  ASSERT_TRUE(idleFrame({KEY_1}));
  EXPECT_EQ(activeSlot, 6);
  ASSERT_TRUE(idleFrame({KEY_2}));
  EXPECT_EQ(activeSlot, 0);
  ASSERT_TRUE(idleFrame({KEY_1, KEY_2}));
  EXPECT_EQ(activeSlot, 0);
  activeSlot = 5;
  std::string seen;
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(idleFrame({KEY_2}));
    seen += std::to_string(activeSlot);
  }
  EXPECT_EQ(seen, "601");  // one slot per held frame
  for (int f = 0; f < 3; ++f) ASSERT_TRUE(idleFrame({KEY_1}));
  EXPECT_EQ(activeSlot, 5);
}

TEST_F(FrameKeys, SpaceRaisesFoodDivisorExceptWhileReseeding) {
  parkCrowd();
  foodDivisor = 0.5f;
  float expected = 0.5f;
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(idleFrame({KEY_SPACE}));
    expected = (float)((double)expected + 0.05);
    EXPECT_EQ(foodDivisor, expected) << "frame " << f;
  }
  ASSERT_TRUE(idleFrame());
  EXPECT_EQ(foodDivisor, expected);
  EXPECT_EQ(aliveCount(), 5);

  // While re-seeding, the regulation after the keys sets it back to 0.5.
  reseeding = 1;
  ASSERT_TRUE(idleFrame({KEY_SPACE}));
  EXPECT_EQ(foodDivisor, 0.5f);
  EXPECT_EQ(aliveCount(), 6);  // this frame's spawn
}

// --- Button dispatch ---------------------------------------------------

TEST_F(FrameButtons, SlotButtonsActivateTheirSlot) {
  paused = 1;
  activeSlot = 3;
  for (int k : {6, 0, 5, 1, 4, 2, 3}) {
    ASSERT_TRUE(click(80, 626 + 16 * k + 6));
    EXPECT_EQ(activeSlot, k);
  }
}

TEST_F(FrameButtons, NewSimulationClearsAfterTheFrameWasDrawn) {
  parkCrowd();
  placeBlinker(100, 450);
  ASSERT_TRUE(click(40, 75));
  // Drawn before the button acted...
  EXPECT_TRUE(glyphDrawn(800, 100));
  EXPECT_EQ(at(screenX(100), screenY(450)), cellColour());
  // ...cleared after it, and counted in the same frame: re-seeding starts
  // but every slot is Dead, so nothing is spawned yet.
  EXPECT_EQ(aliveCount(), 0);
  for (int u = 0; u < kMaxUnits; ++u) ASSERT_EQ(units.status[u], Dead) << u;
  for (int i = 0; i < kCellCount; ++i) ASSERT_EQ(editCellGrids().cells[i], 0) << i;
  EXPECT_EQ(reseeding, 1);
  EXPECT_EQ(livingCount, 1);
  EXPECT_EQ(foodDivisor, 0.5f);

  // The next frame frees the slots and spawns one Unit at its home anchor,
  // after the drawing.
  ASSERT_TRUE(idleFrame());
  EXPECT_EQ(at(screenX(800) - 3, screenY(100) - 3), background());
  EXPECT_EQ(aliveCount(), 1);
  EXPECT_EQ(units.status[0], Alive);
  EXPECT_EQ(units.posX[0], units.homeX[0]);
  EXPECT_EQ(units.posY[0], units.homeY[0]);
  for (int u = 1; u < kMaxUnits; ++u) ASSERT_EQ(units.status[u], Free) << u;
}

TEST_F(FrameButtons, SaveAndLoadStateThroughUserSave) {
  paused = 1;
  parkCrowd();
  park(3, 300, 200, parkedGenome());
  placeBlinker(100, 450);
  foodDivisor = 1.25f;
  ASSERT_TRUE(click(80, 75));  // save
  ASSERT_TRUE(fileExists((dir + "/usersaved.sav").c_str()));

  ASSERT_TRUE(click(40, 75));  // new simulation, while paused
  ASSERT_EQ(aliveCount(), 0);
  foodDivisor = 3.0f;
  reseeding = 1;
  paused = 0;

  // Load in a running frame: the slots freed by this frame's reap come back,
  // and the count after the load finds the saved six Units, so no re-seed.
  ASSERT_TRUE(click(120, 75));
  EXPECT_EQ(reseeding, 0);
  EXPECT_EQ(livingCount, 6);
  EXPECT_EQ(aliveCount(), 6);
  EXPECT_EQ(foodDivisor, 1.25f);
  EXPECT_EQ(units.status[3], Alive);
  EXPECT_EQ(units.posX[3], 300);
  EXPECT_EQ(units.posY[3], 200);
  EXPECT_EQ(units.genome[3], parkedGenome());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(units.status[20 + i], Alive);
  EXPECT_TRUE(blinkerIsHorizontal(100, 450));

  // Loading a missing file changes nothing.
  paused = 1;
  ASSERT_EQ(std::remove("usersaved.sav"), 0);
  units.posX[3] = 310;
  ASSERT_TRUE(click(120, 75));
  EXPECT_EQ(units.posX[3], 310);
  EXPECT_EQ(aliveCount(), 6);
}

TEST_F(FrameButtons, SlotFileSavesThePrimaryAndLoadsIntoEveryPickedUnit) {
  paused = 1;
  const Genome a = parkedGenome();
  const Genome b = shifted(a, 9);  // distance 0.25
  const Genome c = shifted(a, 200);
  park(2, 300, 200, a, 5);
  park(7, 320, 200, b, 5);
  park(9, 600, 400, c, 5);
  tolerance = 0.5f;

  // No primary: nothing is written.
  ASSERT_TRUE(click(60, 744));
  EXPECT_FALSE(fileExists("sample0.dna"));

  ASSERT_TRUE(frame(screenX(300), screenY(200), 1));
  ASSERT_EQ(pickedSelection.primary(), 2);
  ASSERT_EQ(pickedSelection.contains(7), 1);
  ASSERT_EQ(pickedSelection.contains(9), 0);

  // Save goes to the active slot's file, with the primary's genes only.
  ASSERT_TRUE(click(80, 712));  // slot 5
  ASSERT_EQ(activeSlot, 5);
  ASSERT_TRUE(click(60, 744));
  EXPECT_FALSE(fileExists("sample0.dna"));
  const std::vector<int32_t> saved = readInts("sample5.dna");
  EXPECT_EQ(saved, std::vector<int32_t>(a.begin(), a.end()));

  // Load from slot 3, written here by hand, into both picked Units.
  Genome fromFile = shifted(a, 40);
  fromFile[0] = 60;
  fromFile[1] = 20;
  fromFile[5] = 77;
  FILE* f = std::fopen("sample3.dna", "w");
  ASSERT_NE(f, nullptr);
  for (int32_t v : fromFile) std::fprintf(f, "%d\n", v);
  std::fclose(f);
  ASSERT_TRUE(click(80, 680));  // slot 3
  ASSERT_EQ(activeSlot, 3);
  ASSERT_TRUE(click(110, 744));
  for (int u : {2, 7}) {
    SCOPED_TRACE(u);
    EXPECT_EQ(units.genome[u], fromFile);
    EXPECT_EQ(units.age[u], 0);
    EXPECT_EQ(units.energy[u], 77.0f);
    EXPECT_EQ(units.homeX[u], (int)(60 / 80.0 * 825));
    EXPECT_EQ(units.homeY[u], (int)(20 / 80.0 * 525));
  }
  EXPECT_EQ(units.genome[9], c);
  EXPECT_EQ(units.age[9], 5);
  // The slot file itself is left as it was.
  EXPECT_EQ(readInts("sample3.dna"), std::vector<int32_t>(fromFile.begin(), fromFile.end()));
}

}  // namespace
