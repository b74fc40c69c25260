// A picture in plain memory: 8-bit red, green and blue per pixel, rows from
// the top, each row left to right. What the picture writers take, and what
// can be handed to another thread (Allegro's bitmaps stay on the thread
// that draws).
#pragma once
#include <cstdint>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes

  void resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign((size_t)w * (size_t)h * 3, 0);
  }
  const uint8_t* row(int y) const { return pixels.data() + (size_t)y * (size_t)width * 3; }
  uint8_t* row(int y) { return pixels.data() + (size_t)y * (size_t)width * 3; }
};
