#include "fuzz/reference.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

bool referenceInt(std::FILE* in, int32_t* value, size_t* offset) {
  long long v;
  int used = 0;
  if (std::fscanf(in, "%lld%n", &v, &used) != 1 || v < INT32_MIN || v > INT32_MAX) return false;
  *value = (int32_t)v;
  *offset += (size_t)used;
  return true;
}

bool referenceFloat(std::FILE* in, float* value, size_t* offset) {
  float f;
  int used = 0;
  if (std::fscanf(in, "%f%n", &f, &used) != 1 || !std::isfinite(f)) return false;
  *value = f;
  *offset += (size_t)used;
  return true;
}

std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo, size_t* end) {
  std::vector<uint32_t> read;
  for (int64_t i = 0; i < count; ++i) {
    int32_t v;
    float f;
    const bool isFloat = i >= floatFrom && i <= floatTo;
    if (isFloat ? !referenceFloat(in, &f, end) : !referenceInt(in, &v, end)) break;
    if (isFloat) std::memcpy(&v, &f, 4);
    read.push_back((uint32_t)v);
  }
  return read;
}

size_t nextText(const uint8_t* text, size_t size, size_t at) {
  while (at < size && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  return at;
}

int64_t lineAt(const uint8_t* text, size_t at) { return 1 + std::count(text, text + at, '\n'); }

void writeInput(const char* name, const uint8_t* data, size_t size) {
  std::FILE* out = std::fopen(name, "wb");
  if (!out || (size && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) std::abort();
}

namespace {
std::string directory;
}

const char* fuzzDirectory() {
  if (directory.empty()) {
    const char* own = std::getenv("TARN_FUZZ_TMP");
    directory = std::string(own ? own : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tarn-fuzz-XXXXXX";
    if (!mkdtemp(&directory[0])) std::abort();
    std::atexit([] {
      if (std::system(("rm -rf '" + directory + "'").c_str()) != 0) std::fprintf(stderr, "could not remove the files\n");
    });
  }
  return directory.c_str();
}

void fuzzFail(const char* target, const char* what, long long at) {
  std::fprintf(stderr, "%s: FINDING: %s (at value %lld)\n", target, what, at);
  std::abort();
}
