#include "fuzz/world_values.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

void worldValues(std::vector<uint32_t>& v) {
  v.resize(2249626);
  uint32_t* out = v.data();
  forEachStoredBlock([&](const void* p, size_t n) {
    std::memcpy(out, p, n * 4);
    out += n;
  });
}

bool referenceInt(std::FILE* in, int32_t* value) {
  long long v;
  if (std::fscanf(in, "%lld", &v) != 1 || v < INT32_MIN || v > INT32_MAX) return false;
  *value = (int32_t)v;
  return true;
}

bool referenceFloat(std::FILE* in, float* value) {
  float f;
  if (std::fscanf(in, "%f", &f) != 1 || !std::isfinite(f)) return false;
  *value = f;
  return true;
}

std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo) {
  std::vector<uint32_t> read;
  for (int64_t i = 0; i < count; ++i) {
    uint32_t bits;
    if (i >= floatFrom && i <= floatTo) {
      float f;
      if (!referenceFloat(in, &f)) break;
      std::memcpy(&bits, &f, sizeof bits);
    } else {
      int32_t v;
      if (!referenceInt(in, &v)) break;
      bits = (uint32_t)v;
    }
    read.push_back(bits);
  }
  return read;
}

void writeInput(const char* name, const uint8_t* data, size_t size) {
  std::FILE* out = std::fopen(name, "wb");
  if (!out) std::abort();
  if ((size && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) std::abort();
}

namespace {
std::string directory;
void removeDirectory() {
  if (directory.empty()) return;
  std::string command = "rm -rf '" + directory + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", directory.c_str());
}
}  // namespace

const char* fuzzDirectory() {
  if (!directory.empty()) return directory.c_str();
  std::string bases[3];
  if (const char* own = std::getenv("TARN_FUZZ_TMP")) bases[0] = own;
  bases[1] = "/dev/shm";
  bases[2] = "/tmp";
  for (const std::string& base : bases) {
    if (base.empty()) continue;
    std::string pattern = base + "/tarn-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0])) {
      directory = pattern;
      std::atexit(removeDirectory);
      return directory.c_str();
    }
  }
  std::abort();
}

void fuzzFail(const char* target, const char* what, long long at) {
  std::fprintf(stderr, "%s: FINDING: %s (at value %lld)\n", target, what, at);
  std::abort();
}
