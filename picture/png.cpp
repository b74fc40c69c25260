#include "picture/png.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "picture/process.h"

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
  // A name of this process's own beside the target, made with the usual
  // permissions (mkstemp's would leave the picture readable by its owner only).
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = temporaryNameFor(path);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  std::vector<png_bytep> rows((size_t)image.height);
  for (int y = 0; y < image.height; ++y) rows[(size_t)y] = const_cast<png_bytep>(image.row(y));
  PngFailure failure{};
  bool ok = encode(file, image, rows.data(), failure);
  if (std::ferror(file) && ok) {
    ok = false;
    std::snprintf(failure.message, sizeof failure.message, "%s", std::strerror(errno));
  }
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    std::snprintf(failure.message, sizeof failure.message, "%s", std::strerror(errno));
  }
  if (!ok) {
    error = "cannot write " + path + ": " + failure.message;
    unlink(temp.c_str());
    return false;
  }
  if (target == PngTarget::Replace) {
    return moveIntoPlace(temp, path, "cannot write " + path + ": ", error);
  }
  // A new name only: link never replaces an existing file.
  if (link(temp.c_str(), path.c_str()) != 0) {
    const int why = errno;
    unlink(temp.c_str());
    if (existed) *existed = why == EEXIST;
    error = "cannot write " + path + ": " + std::strerror(why);
    return false;
  }
  unlink(temp.c_str());
  return true;
}
