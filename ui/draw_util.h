// Helpers shared by the drawing files of the interface: a clipped pixel
// target that writes 32-bit memory bitmaps row by row, and a guard that keeps
// coordinates passed to Allegro's own primitives within a range their
// internal arithmetic survives.
#pragma once
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <cstdint>

#include "ui/ui.h"

namespace ui_detail {

// Any coordinate farther out than this lies outside every bitmap, so a
// primitive whose coordinates all lie farther out draws nothing; skipping it
// changes no pixel and keeps Allegro's own sums from overflowing.
constexpr int64_t kCoordLimit = 1 << 24;
inline bool saneCoord(int64_t v) { return v > -kCoordLimit && v < kCoordLimit; }

// Where single pixels may go: the bitmap's clipping rectangle (when clipping
// is on) intersected with the bitmap itself. right and bottom are exclusive.
struct PixelTarget {
  BITMAP* bitmap;
  bool direct;  // 32-bit memory bitmap in solid drawing mode: write rows
  int left, top, right, bottom;

  explicit PixelTarget(BITMAP* bmp) : bitmap(bmp) {
    direct = is_memory_bitmap(bmp) && bitmap_color_depth(bmp) == 32 && _drawing_mode == DRAW_MODE_SOLID;
    left = 0;
    top = 0;
    right = bmp->w;
    bottom = bmp->h;
    if (bmp->clip) {
      if (bmp->cl > left) left = bmp->cl;
      if (bmp->ct > top) top = bmp->ct;
      if (bmp->cr < right) right = bmp->cr;
      if (bmp->cb < bottom) bottom = bmp->cb;
    }
  }

  bool inside(int64_t x, int64_t y) const { return x >= left && x < right && y >= top && y < bottom; }

  // Same result as putpixel(bitmap, x, y, colour) for a point inside.
  void write(int x, int y, int colour) const {
    if (direct)
      reinterpret_cast<uint32_t*>(bitmap->line[y])[x] = (uint32_t)colour;
    else
      putpixel(bitmap, x, y, colour);
  }

  void plot(int64_t x, int64_t y, int colour) const {
    if (inside(x, y)) write((int)x, (int)y, colour);
  }
};

// makecol for any component values. Only the 8-bit path looks components up
// in a table, so there they are held to 0..255 first; every other depth packs
// the bits as given.
inline int colourOf(int32_t r, int32_t g, int32_t b) {
  if (get_color_depth() == 8) {
    auto hold = [](int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return makecol(hold(r), hold(g), hold(b));
  }
  return makecol(r, g, b);
}

// The font of all text; Allegro's built-in one until the loaded font is set.
inline FONT* textFont() { return uiFont ? uiFont : font; }

// The pixels that text drawn with its top left corner at (x, y) may cover:
// each character's cell lies within text_length by text_height.
inline ScreenRect textRect(int64_t x, int64_t y, const char* text) {
  return ScreenRect::clipped(x, y, x + text_length(textFont(), text), y + text_height(textFont()));
}
// The same for text centred on x, with a pixel to spare on either side for
// the halving.
inline ScreenRect centredTextRect(int64_t x, int64_t y, const char* text) {
  const int64_t length = text_length(textFont(), text);
  return ScreenRect::clipped(x - length / 2 - 1, y, x - length / 2 + length + 1, y + text_height(textFont()));
}

}  // namespace ui_detail
