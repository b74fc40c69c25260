#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"

bool fullscreenMode = true;

void initAllegro() {
  if (install_allegro(SYSTEM_AUTODETECT, &errno, atexit) != 0) {
    // No system driver (no X display, say): there is no message box either.
    const char* display = std::getenv("DISPLAY");
    if (allegro_error[0] != '\0')
      std::fprintf(stderr, "tarn: cannot start the display: %s\n", allegro_error);
    else
      std::fprintf(stderr, "tarn: cannot start the display: no X server answers at DISPLAY \"%s\"\n",
                   display ? display : "");
    exit(-1);
  }
  int depth = desktop_color_depth();
  if (depth == 0) depth = 32;
  set_color_depth(depth);
  if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, 400, 20, 0, 0) != 0) {
    allegro_message("%s\n", allegro_error);
    exit(-1);
  }
  install_timer();
  install_keyboard();
  install_mouse();
  install_sound(DIGI_AUTODETECT, MIDI_AUTODETECT, nullptr);
}

bool setDisplayMode() {
  int result = fullscreenMode ? set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 0, 0)
                              : set_gfx_mode(GFX_AUTODETECT_WINDOWED, 1024, 768, 0, 0);
  if (result != 0) {
    set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, 1024, 768, 0, 0);
    fullscreenMode = true;
    // Where no fullscreen mode exists at all, a window still serves.
    if (!screen) set_gfx_mode(GFX_AUTODETECT_WINDOWED, 1024, 768, 0, 0);
  }
  if (!screen) return false;
  set_display_switch_mode(SWITCH_BACKGROUND);
  return true;
}

void shutdownAllegro() { clear_keybuf(); }
