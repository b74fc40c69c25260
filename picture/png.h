// PNG files, written with libpng.
#pragma once
#include <string>

#include "picture/image.h"

// How a PNG file meets a file already at its name.
enum class PngTarget {
  Replace,  // the new picture takes the old one's place once it is whole
  New,      // an existing file is left alone and the write refused
};

// Writes the picture to path. The bytes go to a temporary file beside it
// first, so a failed write leaves whatever was at path untouched. Returns
// false with a message in error; for PngTarget::New, existed tells whether
// the refusal was because path already exists.
bool writePng(const std::string& path, const RgbImage& image, PngTarget target, std::string& error,
              bool* existed = nullptr);
