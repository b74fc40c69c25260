// Fuzz target: any bytes as a state file. The loader must leave exactly the
// values that a plain fscanf reader finds before its first bad value, the
// rest as they were; the loaded world then runs some frames and is saved and
// read back.
//
// The first byte of the input chooses where the bytes start: 'F' puts them
// after a valid run of 2,212,625 zero lines, so at the energies (the floats),
// 'U' after the five grids, at the unit table; anything else is the whole
// file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/world_values.h"
#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

std::string dir, inputName, savedName;
std::string floatPrefix, unitPrefix;
std::vector<uint32_t> startValues, expected, loaded, before, after;
long runs = 0;

void startWorld() {
  resetSimulation();
  seedRandom(1234);
}

void fail(const char* what, size_t at) {
  std::fprintf(stderr, "fuzz_state: %s (value %zu)\n", what, at);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/dev/shm/tarn-fuzz-XXXXXX";
  char fallback[] = "/tmp/tarn-fuzz-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) made = mkdtemp(fallback);
  if (!made) std::abort();
  dir = made;
  inputName = dir + "/input.sav";
  savedName = dir + "/saved.sav";
  for (int64_t i = 0; i < kFirstFloatLine; ++i) floatPrefix += "0\n";
  unitPrefix = floatPrefix.substr(0, 2 * (size_t)5 * kCellCount);
  initGeneTable();
  startWorld();
  worldValues(startValues);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string* prefix = nullptr;
  if (size > 0 && data[0] == 'F') prefix = &floatPrefix, ++data, --size;
  else if (size > 0 && data[0] == 'U') prefix = &unitPrefix, ++data, --size;
  writeInput(inputName.c_str(), prefix ? (const uint8_t*)prefix->data() : nullptr, prefix ? prefix->size() : 0,
             data, size);

  startWorld();
  if (!loadState(inputName.c_str())) fail("an existing file did not load", 0);

  // What a plain reader finds, laid over the start values.
  expected = startValues;
  std::FILE* in = std::fopen(inputName.c_str(), "rb");
  if (!in) std::abort();
  // The prefix is zero lines, read as zeros: the reference reads on after it.
  const int64_t skipped = prefix ? (int64_t)prefix->size() / 2 : 0;
  if (prefix && std::fseek(in, (long)prefix->size(), SEEK_SET) != 0) std::abort();
  for (int64_t i = 0; i < skipped; ++i) expected[(size_t)i] = 0;
  std::vector<uint32_t> read = referenceRead(in, (int64_t)expected.size() - skipped, kFirstFloatLine - skipped,
                                             kLastFloatLine - skipped);
  std::fclose(in);
  for (size_t i = 0; i < read.size(); ++i) expected[(size_t)skipped + i] = read[i];
  worldValues(loaded);
  if (std::memcmp(loaded.data(), expected.data(), loaded.size() * 4) != 0)
    for (size_t i = 0; i < loaded.size(); ++i)
      if (loaded[i] != expected[i]) fail("loader and reference reader differ", i);

  // The loaded world runs; its save reads back as it was written.
  for (int frame = 0; frame < 4; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
  // Saving writes 2,249,626 lines: done on every eighth run, to keep the
  // runs fast.
  if (++runs % 8 == 0) {
    worldValues(before);
    if (!saveState(savedName.c_str())) fail("the save failed", 0);
    startWorld();
    if (!loadState(savedName.c_str())) fail("the saved file did not load", 0);
    worldValues(after);
    if (after != before) fail("the saved world reads back differently", 0);
  }
  unlink(inputName.c_str());
  unlink(savedName.c_str());
  return 0;
}
