#include "picture/png.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "persist/files.h"

namespace {

// zlib level 1 without row filters: the pictures are mostly black with
// scattered pixels, which this writes four to six times as fast as libpng's
// default settings (level 6, adaptive filters), at most 1.6 times as big
// (bench/ui_picture.cpp measures the chosen settings).
constexpr int kCompressionLevel = 1;

struct PngFailure {
  char message[200];
};

void onError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// The libpng calls alone, with nothing in scope that a long jump out of an
// error could skip the destruction of.
bool encode(std::FILE* file, const RgbImage& image, png_bytep* rows, PngFailure& failure) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
  if (!png) {
    std::snprintf(failure.message, sizeof failure.message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    if (!failure.message[0]) std::snprintf(failure.message, sizeof failure.message, "out of memory");
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, kCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, (png_uint_32)image.width, (png_uint_32)image.height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePng(const std::string& path, const RgbImage& image, PngTarget target, std::string& error,
              bool* existed) {
  if (existed) *existed = false;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() != (size_t)image.width * image.height * 3) {
    error = "cannot write " + path + ": the picture is empty";
    return false;
  }
  ReplacingFile file;
  if (!file.open(path)) {
    error = file.message();
    return false;
  }
  std::vector<png_bytep> rows((size_t)image.height);
  for (int y = 0; y < image.height; ++y) rows[(size_t)y] = const_cast<png_bytep>(image.row(y));
  PngFailure failure{};
  if (!encode(file.stream(), image, rows.data(), failure)) {
    error = "cannot write " + path + ": " + failure.message;
    return false;
  }
  // A new name only is never given to a file that has it already.
  bool taken = false;
  if (target == PngTarget::Replace ? file.commit() : file.commitAsNew(&taken)) return true;
  if (existed) *existed = taken;
  error = file.message();
  return false;
}
