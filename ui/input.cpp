#include "ui/input.h"

#include <allegro.h>

#include <atomic>
#include <chrono>

static ScriptedInput* scripted = nullptr;

void useScriptedInput(ScriptedInput* input) { scripted = input; }

int mouseX() { return scripted ? scripted->mouseX : mouse_x; }
int mouseY() { return scripted ? scripted->mouseY : mouse_y; }
int mouseButtons() { return scripted ? scripted->mouseB : mouse_b; }
bool keyHeld(int scancode) {
  if (scancode < 0 || scancode >= 128) return false;
  return scripted ? scripted->keys[scancode] : key[scancode] != 0;
}

// A set of keys, a bit a scancode.
struct KeySet {
  uint64_t bits[2] = {0, 0};
  void add(int k) { bits[k / 64] |= uint64_t(1) << (k % 64); }
  bool has(int k) const { return (bits[k / 64] >> (k % 64)) & 1; }
};

// Pressed since the last latchHeldInput, as the library's thread tells.
static std::atomic<uint64_t> pressedKeys[2];
static std::atomic<int> pressedButtons{0};
// Pressed since the frame before (taken from the above at the last latch).
static KeySet tappedKeys;
static int tappedButtons = 0;
// Pressed since the last input step, and down in the frame before.
static KeySet latchedKeys, liveKeys;
static int latchedButtons = 0, liveButtons = 0;

// Called on the library's input thread: only atomic stores.
static void onKey(int scancode) {
  if (scancode & 0x80) return;  // a release
  const int k = scancode & 0x7f;
  pressedKeys[k / 64].fetch_or(uint64_t(1) << (k % 64), std::memory_order_relaxed);
}
static void onMouse(int flags) {
  const int buttons = (flags & MOUSE_FLAG_LEFT_DOWN ? 1 : 0) | (flags & MOUSE_FLAG_RIGHT_DOWN ? 2 : 0) |
                      (flags & MOUSE_FLAG_MIDDLE_DOWN ? 4 : 0);
  if (buttons) pressedButtons.fetch_or(buttons, std::memory_order_relaxed);
}

void installInputLatches() {
  keyboard_lowlevel_callback = onKey;
  mouse_callback = onMouse;
}

void removeInputLatches() {
  keyboard_lowlevel_callback = nullptr;
  mouse_callback = nullptr;
}

void latchHeldInput() {
  tappedKeys.bits[0] = pressedKeys[0].exchange(0, std::memory_order_relaxed);
  tappedKeys.bits[1] = pressedKeys[1].exchange(0, std::memory_order_relaxed);
  tappedButtons = pressedButtons.exchange(0, std::memory_order_relaxed);
  KeySet live;
  for (int k = 0; k < 128; ++k)
    if (keyHeld(k)) live.add(k);
  for (int w = 0; w < 2; ++w) latchedKeys.bits[w] |= tappedKeys.bits[w] | (live.bits[w] & ~liveKeys.bits[w]);
  liveKeys = live;
  const int buttons = mouseButtons();
  latchedButtons |= tappedButtons | (buttons & ~liveButtons);
  liveButtons = buttons;
}

bool keyDownThisFrame(int scancode) {
  if (scancode < 0 || scancode >= 128) return false;
  return keyHeld(scancode) || tappedKeys.has(scancode);
}

int mouseButtonsThisFrame() { return mouseButtons() | tappedButtons; }

bool stepKeyHeld(int scancode) {
  if (scancode < 0 || scancode >= 128) return false;
  return keyHeld(scancode) || latchedKeys.has(scancode);
}

int stepMouseButtons() { return mouseButtons() | latchedButtons; }

void endInputStep() {
  latchedKeys = KeySet{};
  latchedButtons = 0;
}

int64_t monotonicNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
