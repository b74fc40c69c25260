// The application shell: start-up, display mode, the frame loop and shutdown.
#pragma once
#include <cstdint>
#include <string>

#include "units/params.h"

struct BITMAP;
struct ComposedFrame;

extern BITMAP* backBuffer;
extern BITMAP* backgroundImage;
extern BITMAP* cursorImage;
extern BITMAP* graphBitmap;
extern bool fullscreenMode;

// Starts the library with a first 400 x 20 window; exits with -1 and a
// message when no window can be opened.
void initAllegro();
// Switches the screen to 1024 x 768 as fullscreenMode asks. Returns false
// when no mode at all could be set (there is no screen to draw to). The
// caller sends the whole frame to the new screen (markScreenLost).
bool setDisplayMode();
void shutdownAllegro();

// Makes the back buffer and the graph bitmap and loads the pictures and the
// font. Returns false, with a message naming the file, when one is missing
// or unreadable; nothing else is loaded then.
bool loadResources();
void releaseResources();
// True when the picture file (".bmp" or ".pcx") loads without any read past
// its end: a file cut short is not whole, though the library would load it.
bool resourceFileIsWhole(const char* name);

// One frame of the loop. Returns false when ESC ended the loop (nothing of
// the frame ran then). What a hand does (a held key, a button held down and
// its cooldown) acts in input steps of wall time, not in every frame.
bool runFrame();
// The composer's record of the frames runFrame composed and sent, owned by
// the frame loop.
ComposedFrame& composedFrame();
// Before the first frame: at most inputStepsPerSecond input steps a second
// (0: every frame is one), and fast-forward on or off.
void startSteering(int inputStepsPerSecond, bool fast);
// Fast-forward: every frame is simulated, but composed and shown only 60
// times a second (every frame while paused). Key F toggles it.
extern bool fastForward;
// The wall clock of the input steps and the frames shown, in nanoseconds:
// monotonicNanos, or a test's own.
extern int64_t (*steeringClock)();
// Carries out the action of the button that fired (0: none).
void dispatchButton(int id);

// What the command line asks for.
struct ProgramOptions {
  bool windowed = false;       // start in a window, not fullscreen
  bool seeded = false;         // seed given: the generator starts from it
  uint32_t seed = 0;           //   instead of from the clock
  int autosaveSeconds = 600;   // between periodic autosaves
  bool showFrameRate = false;  // frames a second on standard error
  bool checkFrames = false;    // each frame also composed whole and compared
  int inputRate = 60;          // input steps a second; 0: every frame
  bool fast = false;           // start in fast-forward
  int64_t testFrames = 0;      // leave as by ESC after this many frames (0: never)
  std::string load;            // the world to start from instead of the autosave; empty: the autosave
  SimulationParams rules;      // the world's rules (--params, --set)
};
// Reads the command line (and the test aids TARN_TEST_AUTOSAVE_SECONDS,
// TARN_TEST_CHECK_FRAMES and TARN_TEST_FRAMES).
// Returns -1 when the program is to run, otherwise the status to exit with
// at once: 0 after printing the help, 2 after a one-line message on bad use.
int parseOptions(int argc, char** argv, ProgramOptions& options);

// The whole program: start-up, frames until ESC (or another way out),
// autosave, shutdown. Returns 0; 1 when the autosave could not be written;
// 2 when the --load file could no longer be opened; -1 when the start-up
// pictures, the font or the display mode failed.
int runProgram(const ProgramOptions& options);

// Ways out besides ESC: SIGTERM, SIGINT, SIGHUP and the window's close button
// only raise a flag that the frame loop reads where it reads ESC.
// holdQuitSignals blocks the signals (call it before the library starts its
// threads, so that they keep them blocked); installQuitHandlers, once the
// library has started and set its own handlers, installs ours and lets the
// signals in (one that came meanwhile is then taken).
void holdQuitSignals();
void installQuitHandlers();
bool quitRequested();

// The periodic autosave: startAutosaveClock starts the clock; autosaveIfDue,
// once a frame, writes name when the interval has passed since the last one
// and the world is not exactly as then, on a thread of its own from a copy
// of the tables; finishAutosave waits for a write in progress (call it
// before anything else writes name, and before the program ends).
void startAutosaveClock(const char* name, int seconds);
void autosaveIfDue();
void finishAutosave();

// The frame-rate line of --fps: startFrameRate starts the clock,
// countFrame (once a frame) prints the frames a second every 5 seconds, and
// endFrameRate prints the rate over the whole run.
void startFrameRate();
void countFrame();
void endFrameRate();
