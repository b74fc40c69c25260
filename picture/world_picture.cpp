#include "picture/world_picture.h"

#include <allegro.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ui/painter.h"
#include "ui/ui.h"
#include "world/cellfield.h"

bool startHeadlessDrawing(std::string& error) {
  if (!system_driver && install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
    error = std::string("cannot start the drawing library: ") + allegro_error;
    return false;
  }
  set_color_depth(32);
  // Without a display no driver lays out the colour components, and the
  // library's own default puts red in the lowest byte. The window's 32-bit
  // displays put it at bit 16; so do the pictures, so that their bitmaps
  // hold the window's very pixel values (colour genes beyond 255, which
  // only a file can bring, spill into the same neighbour component).
  _rgb_r_shift_32 = 16;
  _rgb_g_shift_32 = 8;
  _rgb_b_shift_32 = 0;
  return true;
}

void copyBitmap(BITMAP* bitmap, RgbImage& picture) {
  picture.resize(bitmap->w, bitmap->h);
  const int depth = bitmap_color_depth(bitmap);
  for (int y = 0; y < bitmap->h; ++y) {
    uint8_t* out = picture.row(y);
    if (depth == 32 && is_memory_bitmap(bitmap)) {
      // Where the components lie depends on the display driver, if any.
      const int r = _rgb_r_shift_32, g = _rgb_g_shift_32, b = _rgb_b_shift_32;
      const uint32_t* in = reinterpret_cast<const uint32_t*>(bitmap->line[y]);
      for (int x = 0; x < bitmap->w; ++x, out += 3) {
        out[0] = (uint8_t)(in[x] >> r);
        out[1] = (uint8_t)(in[x] >> g);
        out[2] = (uint8_t)(in[x] >> b);
      }
    } else if (depth == 24 && is_memory_bitmap(bitmap)) {
      const int r = _rgb_r_shift_24, g = _rgb_g_shift_24, b = _rgb_b_shift_24;
      for (int x = 0; x < bitmap->w; ++x, out += 3) {
        const uint32_t c = (uint32_t)_getpixel24(bitmap, x, y);
        out[0] = (uint8_t)(c >> r);
        out[1] = (uint8_t)(c >> g);
        out[2] = (uint8_t)(c >> b);
      }
    } else {
      for (int x = 0; x < bitmap->w; ++x, out += 3) {
        const int c = getpixel(bitmap, x, y);
        out[0] = (uint8_t)getr_depth(depth, c);
        out[1] = (uint8_t)getg_depth(depth, c);
        out[2] = (uint8_t)getb_depth(depth, c);
      }
    }
  }
}

namespace {

// The picture scaled up: each pixel a scale x scale block.
void scaleUp(const RgbImage& plain, RgbImage& picture, int scale) {
  picture.resize(plain.width * scale, plain.height * scale);
  for (int y = 0; y < plain.height; ++y) {
    const uint8_t* in = plain.row(y);
    uint8_t* out = picture.row(y * scale);
    for (int x = 0; x < plain.width; ++x, in += 3)
      for (int k = 0; k < scale; ++k, out += 3) std::memcpy(out, in, 3);
    for (int k = 1; k < scale; ++k) std::memcpy(picture.row(y * scale + k), picture.row(y * scale), (size_t)picture.width * 3);
  }
}

int heldScale(int scale) { return scale < 1 ? 1 : scale > kMaxPictureScale ? kMaxPictureScale : scale; }

}  // namespace

void drawGlyphPicture(RgbImage& picture, const Genome& genome, int scale) {
  scale = heldScale(scale);
  const int depth = get_color_depth();
  set_color_depth(32);
  BITMAP* glyph = create_bitmap_ex(32, 6, 6);
  if (!glyph) {
    set_color_depth(depth);
    picture.resize(6 * scale, 6 * scale);
    return;
  }
  clear_to_color(glyph, makecol(0, 0, 0));
  ui_detail::drawGlyphInk(ui_detail::PixelTarget(glyph), ui_detail::glyphInk(genome), 3, 3);
  set_color_depth(depth);
  RgbImage plain;
  copyBitmap(glyph, plain);
  destroy_bitmap(glyph);
  scaleUp(plain, picture, scale);
}

void drawWorldPicture(RgbImage& picture, int scale) {
  scale = heldScale(scale);
  // The colours are made for a 32-bit bitmap whatever depth the program
  // draws its screen in.
  const int depth = get_color_depth();
  set_color_depth(32);
  BITMAP* world = create_bitmap_ex(32, kWorldWidth, kWorldHeight);
  if (!world) {
    set_color_depth(depth);
    picture.resize(kWorldWidth * scale, kWorldHeight * scale);  // all black
    return;
  }
  clear_to_color(world, makecol(0, 0, 0));
  drawWorldLayers(world, 0, 0, false);
  set_color_depth(depth);

  if (scale == 1) {
    copyBitmap(world, picture);
  } else {
    RgbImage plain;
    copyBitmap(world, plain);
    scaleUp(plain, picture, scale);
  }
  destroy_bitmap(world);
}
