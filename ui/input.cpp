#include "ui/input.h"

#include <allegro.h>

static ScriptedInput* scripted = nullptr;

void useScriptedInput(ScriptedInput* input) { scripted = input; }

int mouseX() { return scripted ? scripted->mouseX : mouse_x; }
int mouseY() { return scripted ? scripted->mouseY : mouse_y; }
int mouseButtons() { return scripted ? scripted->mouseB : mouse_b; }
bool keyHeld(int scancode) {
  if (scancode < 0 || scancode >= 128) return false;
  return scripted ? scripted->keys[scancode] : key[scancode] != 0;
}
