// The frame check, a test aid (checkComposedFrames): every frame composed
// where it changed is compared with the same frame composed whole, and what
// the screen was sent with the back buffer. The first pixel that differs is
// named in firstFrameDifference.
#include <allegro.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "ui/composed_frame.h"

bool checkComposedFrames = false;
long frameDifferences = 0;
char firstFrameDifference[160] = "";

namespace ui_detail {

namespace {

void compare(const ComposedFrame& frame, BITMAP* a, BITMAP* b, const char* what) {
  for (int y = 0; y < a->h; ++y) {
    if (is_memory_bitmap(a) && is_memory_bitmap(b) && bitmap_color_depth(a) == 32 && bitmap_color_depth(b) == 32 &&
        std::memcmp(a->line[y], b->line[y], sizeof(uint32_t) * a->w) == 0)
      continue;
    for (int x = 0; x < a->w; ++x)
      if (getpixel(a, x, y) != getpixel(b, x, y)) {
        if (frameDifferences++ == 0)
          std::snprintf(firstFrameDifference, sizeof firstFrameDifference,
                        "frame %ld: %s differs from the whole frame at (%d, %d): %06x, not %06x",
                        frame.composedFrames, what, x, y, (unsigned)getpixel(a, x, y), (unsigned)getpixel(b, x, y));
        return;
      }
  }
}

BITMAP* checkBitmap(BITMAP*& b, BITMAP* like) {
  if (!b || b->w != like->w || b->h != like->h || bitmap_color_depth(b) != bitmap_color_depth(like)) {
    if (b) destroy_bitmap(b);
    b = create_bitmap_ex(bitmap_color_depth(like), like->w, like->h);
    if (!b) {
      std::fprintf(stderr, "tarn: no memory for checking the frames\n");
      std::exit(-1);
    }
    clear_to_color(b, 0);
  }
  return b;
}

}  // namespace

void checkAgainstWholeFrame(ComposedFrame& frame, BITMAP* target, const FramePictures& pictures,
                            const FramePoints& points) {
  BITMAP* whole = checkBitmap(frame.checkFrame, target);
  composeWholeFrame(whole, pictures, points);
  compare(frame, target, whole, "the back buffer");
}

void copyForScreenCheck(ComposedFrame& frame, BITMAP* from, const ScreenRect& r) {
  blit(from, checkBitmap(frame.checkScreen, from), r.x0, r.y0, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
}

void checkScreenCopy(ComposedFrame& frame, BITMAP* from) {
  compare(frame, checkBitmap(frame.checkScreen, from), from, "the screen");
}

void releaseFrameCheck(ComposedFrame& frame) {
  for (BITMAP** b : {&frame.checkFrame, &frame.checkScreen}) {
    if (*b) destroy_bitmap(*b);
    *b = nullptr;
  }
}

}  // namespace ui_detail
