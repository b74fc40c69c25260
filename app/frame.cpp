// Start-up, the frame loop and shutdown of the interactive program.
#include <allegro.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/app.h"
#include "persist/notice.h"
#include "persist/slotfile.h"
#include "persist/statefile.h"
#include "picture/screenshot.h"
#include "selection/selection.h"
#include "ui/compose.h"
#include "ui/composed_frame.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/units.h"
#include "world/cellfield.h"

BITMAP* backBuffer = nullptr;
BITMAP* backgroundImage = nullptr;
BITMAP* cursorImage = nullptr;
BITMAP* graphBitmap = nullptr;

namespace {

const char kAutosave[] = "tarn.sav";
const char kUserSave[] = "usersaved.sav";

void reportMissing(const char* name) {
  allegro_message("Cannot load \"%s\": the file is missing or is not a usable picture or font.\n"
                  "It must be in the working directory.\n",
                  name);
}

// A picture the frame is built from: present, and of at least the size used.
BITMAP* loadPicture(const char* name, int width, int height) {
  if (!resourceFileIsWhole(name)) return nullptr;
  BITMAP* picture = load_bitmap(name, nullptr);
  if (picture && (picture->w < width || picture->h < height)) {
    destroy_bitmap(picture);
    picture = nullptr;
  }
  return picture;
}

void changeTolerance(double delta) { tolerance = (float)((double)tolerance + delta); }

// What the composer keeps of the frames composed and sent.
ComposedFrame frameRecord;

// A new display mode: its screen is sent the whole frame.
bool showDisplay() {
  if (!setDisplayMode()) return false;
  markScreenLost(frameRecord);
  return true;
}

// A file notice on the screen is sent over by the next frame.
void noticeOnScreen(const char* text) { markScreenDamaged(frameRecord, drawFileNotice(text)); }

}  // namespace

bool loadResources() {
  backBuffer = create_bitmap(kScreenWidth, kScreenHeight);
  backgroundImage = loadPicture("bg.bmp", kScreenWidth, kScreenHeight);
  if (!backgroundImage) {
    reportMissing("bg.bmp");
    releaseResources();
    return false;
  }
  cursorImage = loadPicture("cursor.bmp", kCursorSide, kCursorSide);
  if (!cursorImage) {
    reportMissing("cursor.bmp");
    releaseResources();
    return false;
  }
  graphBitmap = create_bitmap(kGraphWidth, kGraphHeight);
  if (resourceFileIsWhole("spacefont.pcx")) uiFont = load_font("spacefont.pcx", nullptr, nullptr);
  if (!uiFont) {
    reportMissing("spacefont.pcx");
    releaseResources();
    return false;
  }
  if (!backBuffer || !graphBitmap) {
    allegro_message("Not enough memory for the screen buffers.\n");
    releaseResources();
    return false;
  }
  return true;
}

void releaseResources() {
  releaseMagnifier();
  forgetComposedFrame(frameRecord);
  if (backBuffer) destroy_bitmap(backBuffer);
  if (backgroundImage) destroy_bitmap(backgroundImage);
  if (cursorImage) destroy_bitmap(cursorImage);
  if (graphBitmap) destroy_bitmap(graphBitmap);
  if (uiFont) destroy_font(uiFont);
  backBuffer = backgroundImage = cursorImage = graphBitmap = nullptr;
  uiFont = nullptr;
}

void dispatchButton(int id) {
  char name[32];
  slotFileName(name, sizeof name, activeSlot);
  switch (id) {
    case kSaveSlotButton:
      if (pickedSelection.primary() != -1) saveSlotFile(name, pickedSelection.primary());
      break;
    case kLoadSlotButton:
      for (int u = 0; u < kMaxUnits; ++u)
        if (pickedSelection.contains(u)) loadSlotFile(name, u);
      break;
    case kToleranceDownButton:
      changeTolerance(-0.2);
      break;
    case kToleranceUpButton:
      changeTolerance(0.2);
      break;
    case kNewWorldButton:
      clearWorld();
      break;
    case kSaveStateButton:
      saveState(kUserSave);
      break;
    case kLoadStateButton:
      loadState(kUserSave);
      break;
    case kSlotButton0: case kSlotButton1: case kSlotButton2: case kSlotButton3:
    case kSlotButton4: case kSlotButton5: case kSlotButton6:
      activeSlot = id - kSlotButton0;
      break;
    case kScreenModeButton:
      fullscreenMode = !fullscreenMode;
      if (!showDisplay()) {
        // No screen is left to draw on: keep the world, then leave.
        finishAutosave();
        saveState(kAutosave);
        releaseResources();
        allegro_message("No 1024x768 display mode could be set.\n");
        std::exit(-1);
      }
      break;
    case kPauseButton:
      paused = paused == 0 ? 1 : 0;
      break;
    default:
      break;
  }
}

namespace {

// What the frame loop keeps from frame to frame for the person at the
// window: the input steps, the frames shown in fast-forward, the presses of
// F and F12.
struct Steering {
  StepClock inputSteps;
  StepClock shownFrames;
  KeyPresses fastForwardKey;
  KeyPresses screenshotKey;
};
Steering steering;

constexpr int kShownPerSecond = 60;

// The title says when fast-forward is on and when the world runs under
// rules other than the defaults.
void showFastForwardInTitle() {
  const bool ownRules = !sameParams(rules, SimulationParams{});
  set_window_title(ownRules ? (fastForward ? "tarn (own rules, fast-forward)" : "tarn (own rules)")
                            : (fastForward ? "tarn (fast-forward)" : "tarn"));
}

}  // namespace

ComposedFrame& composedFrame() { return frameRecord; }

bool fastForward = false;
int64_t (*steeringClock)() = monotonicNanos;

void startSteering(int inputStepsPerSecond, bool fast) {
  steering = Steering{};
  steering.inputSteps.setRate(inputStepsPerSecond);
  steering.shownFrames.setRate(kShownPerSecond);
  fastForward = fast;
  showFastForwardInTitle();
}

bool runFrame() {
  if (keyHeld(KEY_ESC) || quitRequested()) return false;
  const int64_t now = steeringClock();
  const bool inputStep = steering.inputSteps.take(now);
  latchHeldInput();

  if (paused == 0) simulateFrame();

  if (steering.fastForwardKey.take(keyDownThisFrame(KEY_F), now)) {
    fastForward = !fastForward;
    showFastForwardInTitle();
  }
  // In fast-forward a frame is composed and shown at most 60 times a second
  // (every frame while paused, so that a paused screen stays live); the
  // others are simulated and read their input, but nobody would see them.
  const bool shown = !fastForward || paused != 0 || steering.shownFrames.take(now);

  // The hover selection is rebuilt where something reads it: the frame
  // drawn, or a left click that keeps it.
  const int mx = mouseX(), my = mouseY();
  const LayoutRect& world = kWorldMouseArea;
  const bool overWorld = pointInRect(mx, my, world.x1, world.y1, world.x2, world.y2) != 0;
  const int buttons = mouseButtonsThisFrame();
  if (shown || (overWorld && (buttons & 1))) {
    hoverSelection.clear();
    if (overWorld) {
      hoverSelection.pickNearest(mx - WorldOffsetX, my - WorldOffsetY);
      hoverSelection.addSimilar(tolerance);
      if (buttons & 1) pickedSelection = hoverSelection;
    }
  }
  pickedSelection.pruneDead();

  // The graph scrolls with the running frames, shown or not; then the slot
  // files' re-read and the picture.
  takeGraphScroll(graphBitmap != nullptr);
  if (shown) {
    const bool graphChanged = drawGraphScrolls(graphBitmap);
    refreshSlotPanel();
    const FramePictures pictures{backgroundImage, cursorImage, graphBitmap};
    composeChangedFrame(frameRecord, backBuffer, pictures, readFramePoints(), graphChanged);
  }

  if (buttons & 2) pickedSelection.clear();

  dispatchButton(pollButtons(inputStep));

  if (inputStep) {
    if (stepKeyHeld(KEY_SPACE)) raiseFoodDivisor();
    if (stepKeyHeld(KEY_PLUS_PAD)) changeTolerance(0.2);
    if (stepKeyHeld(KEY_MINUS_PAD)) changeTolerance(-0.2);
  }
  if (tolerance < 0.0f) tolerance = 0.0f;
  if (tolerance > 40.0f) tolerance = 40.0f;
  if (inputStep) {
    if (stepKeyHeld(KEY_1)) activeSlot -= 1;
    if (stepKeyHeld(KEY_2)) activeSlot += 1;
    endInputStep();
  }
  if (activeSlot < 0) activeSlot += 7;
  if (activeSlot >= 7) activeSlot -= 7;

  if (paused == 0) regulatePopulation();

  if (shown && screen) sendChangedRegions(frameRecord, backBuffer, screen);

  // F12: a picture of the frame on the screen, one per press.
  if (steering.screenshotKey.take(keyDownThisFrame(KEY_F12), now)) queueScreenshot(backBuffer);
  return true;
}

int runProgram(const ProgramOptions& options) {
  // The library's threads start with the quit signals blocked, so that they
  // all come to this one; until our handlers are in, they wait.
  holdQuitSignals();
  initAllegro();
  installQuitHandlers();
  if (!loadResources()) return -1;
  clear_bitmap(screen);
  fullscreenMode = !options.windowed;
  if (!showDisplay()) {
    releaseResources();
    allegro_message("No 1024x768 display mode could be set.\n");
    return -1;
  }
  seedRandom(options.seeded ? options.seed : (uint32_t)std::time(nullptr));
  rules = options.rules;
  clear_to_color(graphBitmap, makecol(255, 0, 255));
  fileNoticeHook = noticeOnScreen;
  initMagnifier(kMagnifierFactor);
  checkComposedFrames = options.checkFrames;
  if (options.load.empty()) {
    loadState(kAutosave);
  } else {
    // The file was found readable before the window opened; a file gone
    // since is refused as then. A damaged one loads as far as it goes.
    LoadReport report;
    if (!loadState(options.load.c_str(), &report)) {
      std::fprintf(stderr, "tarn: cannot read %s: %s\n", options.load.c_str(), std::strerror(report.openError));
      releaseResources();
      shutdownAllegro();
      return 2;
    }
    const std::string problem = loadProblem(options.load, report);
    if (!problem.empty()) std::fprintf(stderr, "tarn: warning: %s\n", problem.c_str());
  }
  startAutosaveClock(kAutosave, options.autosaveSeconds);

  startSteering(options.inputRate, options.fast);
  installInputLatches();

  if (options.showFrameRate) startFrameRate();
  for (int64_t frames = 0; options.testFrames == 0 || frames < options.testFrames; ++frames) {
    if (!runFrame()) break;
    autosaveIfDue();
    countFrame();
    if (frameDifferences > 0) {
      std::fprintf(stderr, "tarn: %s\n", firstFrameDifference);
      std::abort();
    }
  }
  endFrameRate();
  removeInputLatches();

  finishAutosave();
  const bool saved = saveState(kAutosave);
  finishScreenshots();
  releaseResources();
  shutdownAllegro();
  return saved ? 0 : 1;
}
