// The "Saving..." and "Loading..." notices, drawn straight onto the screen
// while a file is read or written; the next frame sends the back buffer
// over them.
#include <allegro.h>

#include "ui/compose.h"
#include "ui/draw_util.h"
#include "ui/ui.h"

void drawFileNotice(const char* text) {
  if (!screen || !text) return;
  textprintf_centre_ex(screen, ui_detail::textFont(), 512, 384, makecol(0, 255, 225), -1, "%s", text);
  markScreenDamaged(ui_detail::centredTextRect(512, 384, text));
}
