// The magnifier: an f-fold enlargement of the 50 x 50 pixel square around a
// point, read back from the bitmap being composed and written into it.
#include <allegro.h>

#include <cstring>

#include "genome/arith.h"
#include "ui/draw_util.h"
#include "ui/ui.h"

namespace {

constexpr int kSourceSide = kMagnifierSource;
constexpr int kMaxFactor = 100;

// The working bitmap that holds the enlargement before it is copied back;
// needed because the source square may overlap the output area.
BITMAP* working = nullptr;
int workingFactor = 0;

bool makeWorking(int factor, int depth) {
  releaseMagnifier();
  if (factor < 1 || factor > kMaxFactor) return false;
  const int side = kSourceSide * factor;
  working = depth > 0 ? create_bitmap_ex(depth, side, side) : create_bitmap(side, side);
  if (!working) return false;
  workingFactor = factor;
  return true;
}

// Only screen pixels 1..1023 by 1..767 are read; anything else, column 0 and
// row 0 included, counts as black. Inside that area a point beyond a smaller
// bitmap reads as getpixel gives it there: -1.
inline bool readable(int64_t sx, int64_t sy) {
  return sx > 0 && sx < kScreenWidth && sy > 0 && sy < kScreenHeight;
}

void enlargeDirect(BITMAP* source, int64_t x0, int64_t y0, int f) {
  const int side = kSourceSide * f;
  for (int Y = 0; Y < side; ++Y) {
    const int64_t sy = y0 + Y / f;
    uint32_t* out = reinterpret_cast<uint32_t*>(working->line[Y]);
    // The rows of one source row are alike.
    if (Y % f != 0) {
      std::memcpy(out, working->line[Y - 1], sizeof(uint32_t) * side);
      continue;
    }
    const bool rowInside = sy >= 0 && sy < source->h;
    const uint32_t* in = rowInside ? reinterpret_cast<const uint32_t*>(source->line[sy]) : nullptr;
    for (int s = 0; s < kSourceSide; ++s) {
      const int64_t sx = x0 + s;
      uint32_t colour = 0;
      if (readable(sx, sy)) colour = (rowInside && sx < source->w) ? in[sx] : 0xFFFFFFFFu;
      for (int k = 0; k < f; ++k) out[s * f + k] = colour;
    }
  }
}

// The same picture built block by block with Allegro's calls, for bitmaps
// that cannot be written row by row.
void enlargeGeneric(BITMAP* source, int64_t x0, int64_t y0, int f) {
  for (int s = 0; s < kSourceSide; ++s) {
    const int64_t sx = x0 + s;
    for (int t = 0; t < kSourceSide; ++t) {
      const int64_t sy = y0 + t;
      const int colour = readable(sx, sy) ? getpixel(source, (int)sx, (int)sy) : 0;
      rectfill(working, s * f, t * f, (s + 1) * f, (t + 1) * f, colour);
    }
  }
}

}  // namespace

void initMagnifier(int factor) { makeWorking(factor, 0); }

bool magnifierReady(int factor, int depth) { return working && workingFactor == factor && bitmap_color_depth(working) == depth; }

void releaseMagnifier() {
  if (working) destroy_bitmap(working);
  working = nullptr;
  workingFactor = 0;
}

void drawMagnifier(BITMAP* bitmap, int centreX, int centreY, int destX, int destY, int factor) {
  if (!bitmap || !working) return;
  const int depth = bitmap_color_depth(bitmap);
  if (factor != workingFactor || bitmap_color_depth(working) != depth) {
    if (!makeWorking(factor, depth)) return;
  }
  const int side = kSourceSide * factor;
  const int64_t x0 = wrapSub(centreX, kSourceSide / 2), y0 = wrapSub(centreY, kSourceSide / 2);

  const bool direct = depth == 32 && is_memory_bitmap(bitmap) && is_memory_bitmap(working) &&
                      _drawing_mode == DRAW_MODE_SOLID;
  if (direct)
    enlargeDirect(bitmap, x0, y0, factor);
  else
    enlargeGeneric(bitmap, x0, y0, factor);

  // An output square wholly outside every bitmap shows nothing.
  if (!ui_detail::saneCoord(destX) || !ui_detail::saneCoord(destY)) return;
  blit(working, bitmap, 0, 0, destX, destY, side, side);
}
