// The input devices, behind one thin layer: the frame loop and the buttons
// read the mouse and keys through these calls, which read Allegro's live
// state, or a scripted state that tests put in its place.
#pragma once
#include <cstdint>

struct ScriptedInput {
  int mouseX = 0, mouseY = 0, mouseB = 0;
  bool keys[128] = {};  // indexed by Allegro KEY_* scancodes
};

int mouseX();
int mouseY();
int mouseButtons();
bool keyHeld(int scancode);

// nullptr returns to the live devices.
void useScriptedInput(ScriptedInput* input);

// What a hand did between two input steps. The library reads the devices
// on a thread of its own, in bursts: a short tap or click may be down only
// in a few frames that fall between two input steps, or in none at all when
// its press and release come in one burst. installInputLatches has the
// library tell every press as it reads it; latchHeldInput, once a frame,
// takes those presses and the keys and buttons down now. Then:
//   keyDownThisFrame, mouseButtonsThisFrame: down now, or pressed since the
//     frame before (for what acts once a press, or once a frame);
//   stepKeyHeld, stepMouseButtons: down now, or pressed since the last input
//     step (until endInputStep clears that), for what acts once a step: a
//     key held acts in every step while it is down, and a tap shorter than
//     a step still acts once.
// Without latches (scripted input, tests) each reads the devices as they are.
void installInputLatches();
void removeInputLatches();
void latchHeldInput();
bool keyDownThisFrame(int scancode);
int mouseButtonsThisFrame();
bool stepKeyHeld(int scancode);
int stepMouseButtons();
void endInputStep();

// Nanoseconds of a monotonic clock: the time a person acts in.
int64_t monotonicNanos();

// Steps of wall time, at most perSecond a second: a call to take is a step
// when at least 1/perSecond s has passed since the last step (the first call
// always is one). perSecond 0 makes every call a step. The frame loop takes
// its input steps with one (what a held key does, the buttons firing and
// their cooldown) and, in fast-forward, the frames it shows with another, so
// that a tap or a click means the same at 60 frames a second and at 20,000.
struct StepClock {
  int64_t periodNanos = 0;  // 0: every call is a step
  int64_t lastStep = 0;
  bool stepped = false;

  void setRate(int perSecond) {
    periodNanos = perSecond > 0 ? (1000000000 + perSecond - 1) / perSecond : 0;
    stepped = false;
  }
  bool take(int64_t now) {
    if (periodNanos > 0 && stepped && now - lastStep < periodNanos) return false;
    stepped = true;
    lastStep = now;
    return true;
  }
};

// One press of a key however long it is held. The X server's key repeat lets
// a held key go and presses it again within a millisecond, so a key counts as
// let go only once it has been seen up over at least kLetGoNanos; then the
// next time it is seen down is a new press.
struct KeyPresses {
  static constexpr int64_t kLetGoNanos = 30000000;
  bool down = false;      // pressed and not yet let go
  int64_t upSince = -1;   // when it was first seen up since, or -1
  // Once a frame: true in the frame that sees a new press.
  bool take(bool held, int64_t now) {
    if (held) {
      upSince = -1;
      if (down) return false;
      down = true;
      return true;
    }
    if (!down) return false;
    if (upSince < 0) upSince = now;
    else if (now - upSince >= kLetGoNanos) down = false;
    return false;
  }
};
