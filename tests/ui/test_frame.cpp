// Whole frames of the interactive program: the artwork loaded as at
// start-up, runFrame with a scripted mouse and keys, no display. Composed
// frames of a crafted world are pinned by digests; the cases below them show
// the order of a frame's steps, the keys and the buttons' actions.
#include <initializer_list>
#include <tuple>

#include <cstring>
#include <vector>

#include "app/app.h"
#include "ui/compose.h"
#include "tests/support.h"
#include "tools/artwork.h"

namespace {

using std::tuple;

// A Unit that stays where it stands, alive, and sows nothing.
Genome parked() {
  Genome g = genomeWhere([](int k) { return k == 0; });
  g[6] = g[10] = g[11] = g[16] = g[19] = 0;
  g[13] = g[35] = 1000000;
  for (int k = 20; k <= 31; ++k) g[k] = 0;
  return g;
}

class Frames : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    ASSERT_TRUE(artwork::writeArtwork("."));
    ASSERT_TRUE(loadResources());
    clear_to_color(graphBitmap, makecol(255, 0, 255));
    initMagnifier(kMagnifierFactor);
    simulation.reseeding = 0;
  }
  void TearDown() override { releaseResources(), DrawingTest::TearDown(); }
  bool frame(int x, int y, int buttons = 0, std::initializer_list<int> keys = {}) {
    point(x, y, buttons);
    for (bool& k : input.keys) k = false;
    for (int k : keys) input.keys[k] = true;
    return runFrame();
  }
  bool idle(std::initializer_list<int> keys = {}) { return frame(600, 20, 0, keys); }
  bool click(int x, int y, std::initializer_list<int> keys = {}) {
    buttonCooldown = 0;
    return frame(x, y, 1, keys);
  }
  // A click on the middle of a button (slot i's: kSlotButton0 + i).
  bool click(ButtonId id, std::initializer_list<int> keys = {}) {
    return click(buttonRect(id).centreX(), buttonRect(id).centreY(), keys);
  }
  static void park(int slot, int x, int y, int32_t shift = 0) {  // genome distance shift / 36
    placeUnit(slot, x, y, parked());
    units.genome[slot][1] += shift, units.mode[slot] = Homeward, units.energy[slot] = 1000.0f;
    units.homeX[slot] = units.targetX[slot] = units.awayX[slot] = x;
    units.homeY[slot] = units.targetY[slot] = units.awayY[slot] = y;
  }
  // Five parked Units far off keep the count above the re-seed threshold.
  static void parkCrowd() {
    for (int i = 0; i < 5; ++i) park(20 + i, 800, 100 + 20 * i, 500);
  }
  WorkFolder folder;
};

}  // namespace

TEST_F(Frames, ComposedFramesKeepTheirRecord) {
  freshWorld(6);
  runFrames(300);
  int a = 0;
  while (units.status[a] != Alive || units.posX[a] < 30 || units.posY[a] < 30) ++a;
  ASSERT_TRUE(saveSlotFile("sample2.dna", a));
  tolerance = 3.0f;
  activeSlot = 2;
  paused = 1;
  const int ax = units.posX[a] + WorldOffsetX, ay = units.posY[a] + WorldOffsetY;
  struct Step { int x, y, buttons; const char* what; const char* digest; } steps[] = {
      {ax + 3, ay, 1, "a click on a Unit: red rings, the magnifier on it",
       "04ae044bf9f8805498979e698a0a1dbf708d139b1f2dc98fd690fcfb023e6570"},
      {buttonRect(kSaveSlotButton).centreX(), buttonRect(kSaveSlotButton).centreY(), 0,
       "the pick in white, a button's tooltip",
       "beed294a38c2ba34d0c31f2601822d82bd777249e67ba54d6e9f051f069ae236"},
      {ax, ay, 3, "both buttons: the copy is drawn, then cleared",
       "31f170b4f510b25ada7c8861c8d67888fdeca24f1f4bdab2972d33ed8a89478b"},
      {1023, 767, 0, "the magnifier at the screen's corner",
       "be283a7c354b9edcf2a0459d5bbc88f4ab714c47aace67a8add71789e5c898e5"},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(frame(s.x, s.y, s.buttons));
    EXPECT_EQ(bitmapDigest(backBuffer), s.digest) << s.what;
  }
  EXPECT_EQ(pickedSelection.primary(), -1);
  paused = 0;
  for (int f = 0; f < 12; ++f) ASSERT_TRUE(frame(0, 0));
  EXPECT_EQ(bitmapDigest(backBuffer), "894a0597f0c169e5b59fe039e70074bffb522fd59db52892bb97fb49250f099d")
      << "twelve running frames: the graph scrolls";
}

TEST_F(Frames, EscFirstThenLifeInEveryThirdRunningFrame) {
  parkCrowd();
  placeLive(400, 300), placeLive(401, 300), placeLive(402, 300);  // a blinker
  clear_to_color(backBuffer, 7);
  const std::string before = bitmapDigest(backBuffer);
  EXPECT_FALSE(click(kPauseButton, {KEY_ESC, KEY_SPACE, KEY_PLUS_PAD, KEY_1}));
  EXPECT_EQ(tuple(simulation.generationPhase, cellAt(401, 301), paused, activeSlot, tolerance, simulation.foodDivisor),
            tuple(0, Empty, 0, 0, 0.0f, 0.0f)) << "ESC: nothing of the frame runs";
  EXPECT_EQ(bitmapDigest(backBuffer), before);
  std::string seen;
  for (int f = 0; f < 9; ++f) {
    paused = f == 4 || f == 5;
    ASSERT_TRUE(idle());
    seen += cellAt(401, 301) == Live ? 'V' : 'H';
  }
  EXPECT_EQ(seen, "VVVHHHHHV") << "running frames 1, 4 and 7; two paused frames between";
}

TEST_F(Frames, KeysAndTheirClamps) {
  paused = 1;
  struct Tol { float start; std::initializer_list<int> keys; ButtonId button; float want; } tols[] = {
      {0.0f, {KEY_PLUS_PAD}, kNoButton, 0.2f},
      {0.0f, {KEY_MINUS_PAD}, kNoButton, 0.0f},
      {40.0f, {}, kToleranceUpButton, 40.0f},                // button + at the top
      {0.1f, {}, kToleranceDownButton, 0.0f},                // button - below 0
      {39.9f, {KEY_PLUS_PAD, KEY_MINUS_PAD}, kNoButton, 39.9f},  // both, then the clamp
  };
  for (const Tol& t : tols) {
    tolerance = t.start;
    ASSERT_TRUE(t.button != kNoButton ? click(t.button, t.keys) : idle(t.keys));
    EXPECT_NEAR(tolerance, t.want, 1e-5) << t.start;
  }
  struct Slot { int start; std::initializer_list<int> keys; int want; } slots[] = {
      {0, {KEY_1}, 6}, {6, {KEY_2}, 0}, {3, {KEY_1, KEY_2}, 3}, {5, {KEY_2}, 6}};
  for (const Slot& s : slots) {
    activeSlot = s.start;
    ASSERT_TRUE(idle(s.keys));
    EXPECT_EQ(activeSlot, s.want) << s.start;
  }
  // The space bar raises the food divisor once a frame, but a re-seeding
  // frame sets it back to 0.5 after the keys.
  paused = 0, simulation.foodDivisor = 0.5f;
  parkCrowd();
  ASSERT_TRUE(idle({KEY_SPACE}));
  EXPECT_EQ(simulation.foodDivisor, 0.55f);
  simulation.reseeding = 1;
  ASSERT_TRUE(idle({KEY_SPACE}));
  EXPECT_EQ(simulation.foodDivisor, 0.5f);
}

TEST_F(Frames, ButtonActions) {
  paused = 1;
  park(2, 300, 200);
  park(7, 320, 200, 9);
  tolerance = 0.5f;
  ASSERT_TRUE(click(kSaveSlotButton));  // with nothing picked
  EXPECT_FALSE(fileExists("sample0.dna"));
  ASSERT_TRUE(frame(300 + WorldOffsetX, 200 + WorldOffsetY, 1));
  ASSERT_EQ(pickedSelection.contains(7), 1);
  units.status[7] = Dead;  // a picked Unit that dies leaves the pick in the next frame
  ASSERT_TRUE(idle());
  EXPECT_EQ(tuple(pickedSelection.primary(), pickedSelection.contains(7)), tuple(2, 0));
  units.status[7] = Alive, pickedSelection.ids[1] = 7;
  ASSERT_TRUE(click(kSlotButton5));
  ASSERT_TRUE(click(kSaveSlotButton));
  std::string text;
  for (int32_t v : parked()) text += std::to_string(v) + "\n";
  EXPECT_EQ(readFile("sample5.dna"), text) << "the primary's genome";
  // Slot Load plants the slot's genome into every picked Unit.
  writeFile("sample3.dna", "7\n" + text.substr(text.find('\n') + 1));
  units.age[2] = units.age[7] = 5;
  ASSERT_TRUE(click(kSlotButton3));
  ASSERT_TRUE(click(kLoadSlotButton));
  for (int u : {2, 7})
    EXPECT_EQ(tuple(units.genome[u][0], units.genome[u][1], units.age[u], units.energy[u], units.posX[u]),
              tuple(7, parked()[1], 0, (float)parked()[5], u == 2 ? 300 : 320));
  // Save, New while paused (all Dead and the field empty at once, nothing
  // reaped or seeded until the world runs), Load.
  parkCrowd();
  placeLive(100, 450);
  ASSERT_TRUE(click(kSaveStateButton));
  const std::string saved = stateDigest();
  ASSERT_TRUE(click(kNewWorldButton));
  EXPECT_EQ(aliveCount() + liveCells(), 0);
  ASSERT_TRUE(idle());
  EXPECT_EQ(units.status[0], Dead);
  paused = 0;
  ASSERT_TRUE(idle());
  EXPECT_EQ(aliveCount(), 1) << "reaped and seeded in the first running frame";
  paused = 1;
  ASSERT_TRUE(click(kLoadStateButton));
  EXPECT_EQ(stateDigest(), saved);
  ASSERT_TRUE(click(kPauseButton));
  EXPECT_EQ(paused, 0);
}

namespace {

int64_t fakeNow = 0;
int64_t fakeClock() { return fakeNow; }

// Frames of a millisecond each on a clock of the test's own, with input
// steps at most 60 a second and fast-forward as asked; back to every frame
// a step afterwards.
class SteppedFrames : public Frames {
 protected:
  void SetUp() override {
    Frames::SetUp();
    fakeNow = 0;
    steeringClock = fakeClock;
  }
  void TearDown() override {
    startSteering(0, false);
    steeringClock = monotonicNanos;
    checkComposedFrames = false;
    Frames::TearDown();
  }
  // The frames from..to-1, with the mouse and keys given, at 1 ms apiece.
  void run(int from, int to, int x, int y, int buttons = 0, std::initializer_list<int> keys = {}) {
    for (int ms = from; ms < to; ++ms) {
      fakeNow = (int64_t)ms * 1000000;
      ASSERT_TRUE(frame(x, y, buttons, keys)) << ms;
    }
  }
};

}  // namespace

TEST_F(SteppedFrames, HandsActInStepsOfWallTime) {
  startSteering(60, false);
  paused = 1;
  // Keypad + held 100 ms: the steps at 0, 17, 34, 51, 68 and 85 ms.
  run(0, 100, 600, 20, 0, {KEY_PLUS_PAD});
  EXPECT_NEAR(tolerance, 1.2f, 1e-5);
  // A tap of the space bar in one frame between two steps acts once, in the
  // next step; a key let go acts no more.
  simulation.foodDivisor = 0.5f;
  run(100, 101, 600, 20, 0, {KEY_SPACE});
  run(101, 150, 600, 20);
  EXPECT_EQ(simulation.foodDivisor, 0.55f);
  // Held on "Toggle Pause" for a second: it fires in the first step after
  // the press (at 153 ms) and in every 21st step after that, 357 ms apart;
  // clicks of 20 to 300 ms fire it once each.
  std::string toggles;
  for (int ms = 150; ms < 1150; ++ms) {
    const int before = paused;
    run(ms, ms + 1, 100, 90, 1);
    if (paused != before) toggles += std::to_string(ms - 150) + " ";
  }
  EXPECT_EQ(toggles, "3 360 717 ");
  run(1150, 1600, 600, 20);
  int ms = 1600, clicks = 0;
  for (int hold : {20, 50, 120, 200, 300}) {
    const int before = paused;
    run(ms, ms + hold, 100, 90, 1);
    run(ms + hold, ms + hold + 400, 600, 20);
    ms += hold + 400;
    clicks += paused != before;
  }
  EXPECT_EQ(clicks, 5);
  // With --input-rate 0 every frame is a step, as the frame's letter has it.
  startSteering(0, false);
  tolerance = 0.0f;
  run(ms, ms + 10, 600, 20, 0, {KEY_PLUS_PAD});
  EXPECT_NEAR(tolerance, 2.0f, 1e-5);
}

// Any key down in one frame between two steps is seen in that frame and by
// the next step alone, whatever its scancode.
TEST_F(SteppedFrames, EveryKeyTappedBetweenStepsIsSeenByTheNextStep) {
  std::string missed;
  for (int k = 0; k < 128; ++k) {
    endInputStep();
    input.keys[k] = true;
    latchHeldInput();
    if (!keyDownThisFrame(k)) missed += "frame " + std::to_string(k) + " ";
    input.keys[k] = false;
    latchHeldInput();
    if (!stepKeyHeld(k)) missed += std::to_string(k) + " ";
    for (int other = 0; other < 128; ++other)
      if (other != k && stepKeyHeld(other)) missed += std::to_string(k) + "/" + std::to_string(other) + " ";
    endInputStep();
    if (stepKeyHeld(k)) missed += std::to_string(k) + "+ ";
  }
  // A press and its release that the library tells in one burst between two
  // frames, for every scancode, are seen as well.
  installInputLatches();
  for (int k = 0; k < 128; ++k) {
    endInputStep();
    keyboard_lowlevel_callback(k), keyboard_lowlevel_callback(k | 0x80);
    latchHeldInput();
    if (!stepKeyHeld(k)) missed += "burst " + std::to_string(k) + " ";
  }
  removeInputLatches();
  EXPECT_EQ(missed, "");
  EXPECT_FALSE(stepKeyHeld(-1) || stepKeyHeld(128) || keyDownThisFrame(-1) || keyDownThisFrame(128));
}

TEST_F(SteppedFrames, OnePressHoweverLongTheKeyIsHeldAndRepeated) {
  // The X server's key repeat lets a held key go for well under a
  // millisecond; a person's second press comes after 30 ms or more up.
  KeyPresses f12;
  std::string seen;
  const struct { int64_t ms; bool held; } frames[] = {
      {0, true}, {1, true}, {2, false}, {3, true}, {20, false}, {49, false}, {50, true},  // a repeat
      {60, false}, {89, false}, {90, false}, {91, true}, {92, true}};                      // let go, pressed
  for (const auto& f : frames) seen += f12.take(f.held, f.ms * 1000000) ? "P" : ".";
  EXPECT_EQ(seen, "P.........P.") << "one press, a repeat that is no press, a second press";
}

TEST_F(SteppedFrames, FastForwardShowsWholeFramesSixtyTimesASecond) {
  // The same frames drawn and fast-forwarded leave the same world; in
  // fast-forward the back buffer changes only in the frames shown, each
  // the whole frame of its moment.
  std::string start, worlds[2], graphs[2];
  for (bool fast : {false, true}) {
    freshWorld(6);
    runFrames(300);
    start = stateDigest();
    clear_to_color(graphBitmap, makecol(255, 0, 255));
    graphTimer = 1;
    forgetComposedFrame(composedFrame());
    startSteering(60, fast);
    checkComposedFrames = true;
    std::vector<uint32_t> last(kScreenWidth * kScreenHeight);
    std::string changed;
    for (int ms = 0; ms < 52; ++ms) {
      run(ms, ms + 1, 500 + ms, 300);
      std::vector<uint32_t> now(kScreenWidth * kScreenHeight);
      for (int y = 0; y < kScreenHeight; ++y)
        std::memcpy(&now[(size_t)y * kScreenWidth], backBuffer->line[y], sizeof(uint32_t) * kScreenWidth);
      if (fast && now != last) changed += std::to_string(ms) + " ";
      last.swap(now);
    }
    if (fast) { EXPECT_EQ(changed, "0 17 34 51 "); }
    EXPECT_EQ(frameDifferences, 0) << firstFrameDifference;
    worlds[fast] = stateDigest("after.sav");
    graphs[fast] = bitmapDigest(graphBitmap);
  }
  EXPECT_NE(worlds[0], start);
  EXPECT_EQ(worlds[1], worlds[0]);
  EXPECT_EQ(graphs[1], graphs[0]) << "the scrolls of 17 frames drawn in one";
  // Paused, every frame is shown: the cursor follows the mouse at once.
  paused = 1;
  run(100, 101, 400, 400);
  run(101, 102, 410, 400);
  EXPECT_EQ(pixelAt(backBuffer, 410, 400), pixelAt(cursorImage, 0, 0)) << "the cursor's corner";
}
