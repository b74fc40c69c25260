// The "Saving..." and "Loading..." notices, drawn straight onto the screen
// while a file is read or written; the frame loop marks what they cover, so
// that the next frame sends the back buffer over them.
#include <allegro.h>

#include "ui/draw_util.h"
#include "ui/ui.h"

ScreenRect drawFileNotice(const char* text) {
  if (!screen || !text) return ScreenRect{};
  textprintf_centre_ex(screen, ui_detail::textFont(), 512, 384, makecol(0, 255, 225), -1, "%s", text);
  return ui_detail::centredTextRect(512, 384, text);
}
