// The input devices, behind one thin layer: the frame loop and the buttons
// read the mouse and keys through these calls, which read Allegro's live
// state, or a scripted state that tests put in its place.
#pragma once

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
