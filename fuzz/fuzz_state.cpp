// Fuzz target: any bytes as a state file.
//
// The loader must leave exactly the values that a plain fscanf reader finds
// before its first bad value, and every later value as it was. The loaded
// world then runs some frames; its floats must be written as "%f" writes
// them, and now and then the whole world is saved and loaded back, which
// must give what the saved text says.
//
// The first byte of the input chooses what the rest is:
//   'F'  the file from the energies on (the floats): the rest follows a
//        valid run of 2,212,625 zero lines;
//   'U'  the file from the unit table on: the rest follows the five grids,
//        all zeros;
//   'R'  no simulation: the second byte is a pattern of kinds (bit i % 8 set:
//        value i is a float), the rest a text that the file reader and the
//        fscanf reference read value by value in that pattern;
//   anything else: the whole input is the file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/world_values.h"
#include "persist/statefile.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

const char kTarget[] = "fuzz_state";

std::string plainName, floatName, unitName, readerName, savedName;
std::vector<uint32_t> startValues, zeros, before, after;

// The fixed known world every run starts from.
void startWorld() {
  resetSimulation();
  clearField();
  resetUnitTable();
  seedRandom(1234);
}

// A file of `lines` zero lines, once; later runs write their bytes after it.
void writePrefix(const std::string& name, int64_t lines) {
  std::string text;
  text.reserve((size_t)lines * 2);
  for (int64_t i = 0; i < lines; ++i) text += "0\n";
  writeInput(name.c_str(), (const uint8_t*)text.data(), text.size());
}

void writeAfterPrefix(const std::string& name, int64_t lines, const uint8_t* data, size_t size) {
  const off_t prefix = (off_t)lines * 2;
  int fd = open(name.c_str(), O_WRONLY);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd, data + done, size - done, prefix + (off_t)done);
    if (n <= 0) std::abort();
    done += (size_t)n;
  }
  if (ftruncate(fd, prefix + (off_t)size) != 0 || close(fd) != 0) std::abort();
}

uint32_t inputHash(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

uint32_t bitsOf(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// The stored values must be: `skipped` zeros (the prefix), then `read`, then
// the start values.
void compareLoaded(int64_t skipped, const std::vector<uint32_t>& read) {
  const int64_t readEnd = skipped + (int64_t)read.size();
  int64_t index = 0;  // of the block's first value
  forEachStoredBlock([&](const void* p, size_t n) {
    const uint32_t* got = (const uint32_t*)p;
    const int64_t end = index + (int64_t)n;
    // The block in up to three pieces: prefix zeros, values read, start values.
    const int64_t cuts[4] = {index, std::min(std::max(skipped, index), end), std::min(std::max(readEnd, index), end),
                             end};
    for (int piece = 0; piece < 3; ++piece) {
      const int64_t from = cuts[piece], count = cuts[piece + 1] - cuts[piece];
      if (count == 0) continue;
      const uint32_t* want = piece == 0   ? zeros.data()
                             : piece == 1 ? read.data() + (from - skipped)
                                          : startValues.data() + from;
      const uint32_t* have = got + (from - index);
      if (std::memcmp(have, want, (size_t)count * 4) == 0) continue;
      int64_t k = 0;
      while (have[k] == want[k]) ++k;
      std::fprintf(stderr, "%s: value %lld (line %lld): loader 0x%08x, reference 0x%08x; reference read %zu values\n",
                   kTarget, (long long)(from + k), (long long)(from + k) + 1, have[k], want[k], read.size());
      fuzzFail(kTarget, "loadState and the fscanf reference differ", from + k);
    }
    index = end;
  });
}

// The writer's text for every float the file holds must be printf's "%f".
void checkFloatText() {
  char mine[64], theirs[64];
  for (int u = 0; u <= kMaxUnits; ++u) {
    float v = u < kMaxUnits ? units.energy[u] : foodDivisor;
    *formatFloat(mine, v) = 0;
    std::snprintf(theirs, sizeof theirs, "%f", (double)v);
    if (std::strcmp(mine, theirs) != 0) {
      std::fprintf(stderr, "%s: float 0x%08x written \"%s\", printf \"%s\"\n", kTarget, bitsOf(v), mine, theirs);
      fuzzFail(kTarget, "the writer's float text is not \"%f\"", kFirstFloatLine + u);
    }
  }
}

// Saves the world and loads it into the start world: integers come back
// exactly, floats as the nearest float to their six-decimal text, and a
// float that is not finite ("inf", "nan") stops the load there.
void saveAndReload() {
  worldValues(before);
  if (!saveState(savedName.c_str())) fuzzFail(kTarget, "saveState failed", 0);
  startWorld();
  if (!loadState(savedName.c_str())) fuzzFail(kTarget, "the saved file did not open", 0);
  worldValues(after);
  // What the load must give: the integers as saved, each float as its text
  // reads, and the start values from the first float that is not finite.
  std::vector<uint32_t>& want = before;
  size_t stop = want.size();
  for (int64_t i = kFirstFloatLine; i <= kLastFloatLine; ++i) {
    float f;
    std::memcpy(&f, &want[(size_t)i], sizeof f);
    if (!std::isfinite(f)) {
      stop = (size_t)i;
      break;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%f", (double)f);
    want[(size_t)i] = bitsOf(std::strtof(text, nullptr));
  }
  std::memcpy(want.data() + stop, startValues.data() + stop, (want.size() - stop) * 4);
  if (std::memcmp(after.data(), want.data(), want.size() * 4) != 0) {
    size_t i = 0;
    while (after[i] == want[i]) ++i;
    std::fprintf(stderr, "%s: value %zu: read back 0x%08x, expected 0x%08x\n", kTarget, i, after[i], want[i]);
    fuzzFail(kTarget, "the saved world reads back wrongly", (long long)i);
  }
  unlink(savedName.c_str());
}

// 'R': the reader against fscanf, value by value.
void readerOnly(uint8_t pattern, const uint8_t* data, size_t size) {
  writeInput(readerName.c_str(), data, size);
  TextReader reader(readerName.c_str());
  std::FILE* ref = std::fopen(readerName.c_str(), "rb");
  if (!reader.opened() || !ref) std::abort();
  if (pattern == 0) {
    // All integers: the bulk read of the grids.
    int32_t mine[4096], theirs[4096];
    std::memset(mine, 0x5a, sizeof mine);
    size_t n = reader.readInts(mine, 4096), m = 0;
    while (m < 4096 && referenceInt(ref, &theirs[m])) ++m;
    if (n != m) fuzzFail(kTarget, "readInts stopped elsewhere than fscanf", (long long)(n < m ? n : m));
    for (size_t i = 0; i < n; ++i)
      if (mine[i] != theirs[i]) fuzzFail(kTarget, "readInts and fscanf read different integers", (long long)i);
    for (size_t i = n; i < 4096; ++i)
      if (mine[i] != 0x5a5a5a5a) fuzzFail(kTarget, "readInts wrote past the values it read", (long long)i);
  } else {
    for (long i = 0;; ++i) {
      const bool isFloat = (pattern >> (i % 8)) & 1;
      bool mineOk, theirsOk;
      uint32_t mine = 0xdeadbeef, theirs = 0;
      if (isFloat) {
        float f;
        std::memcpy(&f, &mine, sizeof f);
        mineOk = reader.readFloat(&f);
        mine = bitsOf(f);
        float g = 0;
        theirsOk = referenceFloat(ref, &g);
        theirs = bitsOf(g);
      } else {
        int32_t v = (int32_t)mine, w = 0;
        mineOk = reader.readInt(&v);
        mine = (uint32_t)v;
        theirsOk = referenceInt(ref, &w);
        theirs = (uint32_t)w;
      }
      if (mineOk != theirsOk) {
        std::fprintf(stderr, "%s: value %ld (%s): reader %s, fscanf %s\n", kTarget, i, isFloat ? "float" : "integer",
                     mineOk ? "read it" : "stopped", theirsOk ? "read it" : "stopped");
        fuzzFail(kTarget, "the reader and fscanf disagree on whether a value is there", i);
      }
      if (!mineOk) {
        if (mine != 0xdeadbeef) fuzzFail(kTarget, "a failed read changed its value", i);
        int32_t v = 7;
        float f = 7;
        if (reader.readInt(&v) || reader.readFloat(&f) || v != 7 || f != 7)
          fuzzFail(kTarget, "the reader read on after it had stopped", i);
        break;
      }
      if (mine != theirs) {
        std::fprintf(stderr, "%s: value %ld: reader 0x%08x, fscanf 0x%08x\n", kTarget, i, mine, theirs);
        fuzzFail(kTarget, "the reader and fscanf read different values", i);
      }
    }
  }
  std::fclose(ref);
  unlink(readerName.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = fuzzDirectory();
  plainName = dir + "/input.sav";
  floatName = dir + "/from-floats.sav";
  unitName = dir + "/from-units.sav";
  readerName = dir + "/values.txt";
  savedName = dir + "/saved.sav";
  writePrefix(floatName, kFirstFloatLine);
  writePrefix(unitName, kUnitTableLine);
  initGeneTable();
  startWorld();
  worldValues(startValues);
  zeros.assign(startValues.size(), 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char mode = size > 0 ? (char)data[0] : 0;
  if (mode == 'R') {
    if (size >= 2) readerOnly(data[1], data + 2, size - 2);
    return 0;
  }
  const std::string* name = &plainName;
  int64_t skipped = 0;
  if (mode == 'F' || mode == 'U') {
    name = mode == 'F' ? &floatName : &unitName;
    skipped = mode == 'F' ? kFirstFloatLine : kUnitTableLine;
    writeAfterPrefix(*name, skipped, data + 1, size - 1);
  } else {
    writeInput(name->c_str(), data, size);
  }

  startWorld();
  if (!loadState(name->c_str())) fuzzFail(kTarget, "an existing file did not open", 0);

  // The prefix holds zeros only; the reference reads what follows it.
  std::FILE* in = std::fopen(name->c_str(), "rb");
  if (!in || std::fseek(in, (long)skipped * 2, SEEK_SET) != 0) std::abort();
  std::vector<uint32_t> read =
      referenceRead(in, kStateFileLines - skipped, kFirstFloatLine - skipped, kLastFloatLine - skipped);
  std::fclose(in);
  compareLoaded(skipped, read);
  if (reseeding != 0) fuzzFail(kTarget, "a load left reseeding set", 0);

  // The loaded world runs.
  for (int frame = 0; frame < 4; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
  checkFloatText();
  // A whole save and load is 2 x 2,249,626 lines and costs as much as eight
  // ordinary runs: it is done for one input in 32, chosen by the input's
  // bytes so that a finding reproduces from its file.
  if (inputHash(data, size) % 32 == 0) saveAndReload();
  if (name == &plainName) unlink(plainName.c_str());
  return 0;
}
