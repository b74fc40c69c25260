#include "record/loaded.h"

#include <cinttypes>
#include <cstdio>

#include "record/census.h"
#include "persist/files.h"
#include "units/units.h"

using nlohmann::json;

const char kLoadedHeader[] = "id,slot,age\n";

namespace {

class LoadedOutput : public Output {
 public:
  explicit LoadedOutput(const std::string& path) : Output(path) {}

  bool begin(const json* resumed, std::string* error) override {
    // A checkpoint comes after the file was written; one of a runner
    // without it (null) leaves it out.
    if (resumed) return written_ = true;
    text_ = kLoadedHeader;
    char line[64];
    for (int u = 0; u < kMaxUnits; ++u)
      if (units.status[u] == Alive) {
        const int n = std::snprintf(line, sizeof line, "%" PRId64 ",%d,%d\n", lineage[u].id, u, units.age[u]);
        text_.append(line, (size_t)n);
      }
    return probeWritable(path_, error);
  }
  bool checkpoint(int64_t, json*, std::string* error) override { return write(error); }
  bool finish(int64_t, bool, std::string* error) override { return write(error); }

 private:
  bool write(std::string* error) {
    if (written_) return true;
    written_ = writeFileSafely(path_, text_, error);
    return written_;
  }
  std::string text_;
  bool written_ = false;
};

}  // namespace

std::unique_ptr<Output> makeLoadedOutput(const std::string& path) { return std::make_unique<LoadedOutput>(path); }
