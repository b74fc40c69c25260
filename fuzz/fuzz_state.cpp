// Fuzz target: any bytes as the text of a state file from some value on.
//
// Byte 0 picks a block of the file (one of its 26, or its end), byte 1 how
// many values before that block's first value the text begins, byte 2 the
// reader's buffer sizes; the rest is the text, read from there to the end of
// the file as loadState reads it. The tables must then hold what a plain
// fscanf reader finds before its first bad value, every other value must be
// as it was, and the load's report must say what fscanf saw: how many values
// were read, the line where reading stopped, whether text follows.
//
// A text of n bytes holds at most n / 2 + 1 values. Between inputs the
// tables hold a pattern in which every value differs from its neighbours, so
// that a value written where it should not be shows, and all their pages
// but those an input can reach are read-only (a stray write is a crash).
// One input in 512 (by its hash, so that a finding reproduces from its file)
// is also loaded into a living world, which then runs three frames (one Life
// generation); one in 65536 then saves the whole world and loads it back,
// which must give what the saved text says.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "fuzz/reference.h"
#include "persist/statefile.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// Value indices (lines from 0): the energies and foodDivisor are the only floats.
constexpr int64_t kUnitTableLine = 5 * (int64_t)kCellCount;
constexpr int64_t kFirstFloatLine = kUnitTableLine + 17 * kMaxUnits + kMaxUnits * kMemoryLength;
constexpr int64_t kLastFloatLine = kFirstFloatLine + kMaxUnits;

const char kTarget[] = "fuzz_state";
std::string inputName, savedName;
std::vector<uint32_t> pattern, living;  // the tables between inputs; a living world
std::vector<int64_t> blockStarts;       // of the 26 blocks, and the end

// Calls visit(index, values, n) for the stored values [from, to) (floats by
// their bits), piece by piece as they lie in memory.
template <typename Visit>
void forEachStored(int64_t from, int64_t to, Visit visit) {
  int64_t index = 0;
  auto block = [&](void* p, int64_t n) {
    const int64_t lo = std::max(from, index), hi = std::min(to, index + n);
    if (lo < hi) visit(lo, (uint32_t*)p + (lo - index), (size_t)(hi - lo));
    index += n;
  };
  // The harness keeps the grids as the field's truth (a living world's
  // frames hand it to the packed form; this takes it back).
  CellField& field = editCellGrids();
  for (int32_t* grid : {field.cells, field.nextCells, field.neighbourCounts, field.claimMarks, field.skipRuns})
    block(grid, kCellCount);
  for (int32_t* values : {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX,
                          units.awayY, units.mode, units.searchRadius, units.sowTimer, units.status, units.age,
                          units.stock, units.paceCounter, units.spareA, units.spareB})
    block(values, kMaxUnits);
  block(units.memory, kMaxUnits * kMemoryLength);
  block(units.energy, kMaxUnits);
  block(&simulation.foodDivisor, 1);
  block(units.genome, kMaxUnits * kGeneCount);
}

void getValues(std::vector<uint32_t>& v) {
  v.resize(kStateFileLines);
  forEachStored(0, kStateFileLines, [&](int64_t i, uint32_t* p, size_t n) { std::memcpy(&v[(size_t)i], p, n * 4); });
}

void setValues(const std::vector<uint32_t>& v, int64_t from = 0, int64_t to = kStateFileLines) {
  forEachStored(from, to, [&](int64_t i, uint32_t* p, size_t n) { std::memcpy(p, &v[(size_t)i], n * 4); });
}

void startLivingWorld() {
  resetSimulation();
  setValues(living);
  seedRandom(1234);
}

// Whole pages of the two tables change protection.
const uintptr_t kPage = (uintptr_t)sysconf(_SC_PAGESIZE);
uintptr_t pageDown(const void* p) { return (uintptr_t)p & ~(kPage - 1); }
uintptr_t pageUp(const void* p) { return pageDown((const char*)p + kPage - 1); }

void protect(uintptr_t lo, uintptr_t hi, int how) {
  // First called while the tables are writable and the grids hold the field.
  static const CellField* const grids = &editCellGrids();
  static const uintptr_t tables[2][2] = {{pageUp(grids), pageDown(grids + 1)}, {pageUp(&units), pageDown(&units + 1)}};
  for (const auto& t : tables) {
    const uintptr_t a = std::max(lo, t[0]), b = std::min(hi, t[1]);
    if (a < b && mprotect((void*)a, b - a, how) != 0) std::abort();
  }
}
void setTables(int how) { protect(0, UINTPTR_MAX, how); }
void setPages(int64_t from, int64_t to, int how) {
  forEachStored(from, to, [&](int64_t, uint32_t* p, size_t n) { protect(pageDown(p), pageUp(p + n), how); });
}

// The values [from, to) must be those read from `first` on, the pattern elsewhere.
void compareLoaded(int64_t from, int64_t to, int64_t first, const std::vector<uint32_t>& read) {
  std::vector<uint32_t> want(pattern.begin() + from, pattern.begin() + to);
  const int64_t lo = std::max(from, first), hi = std::min(to, first + (int64_t)read.size());
  if (lo < hi) std::copy(read.begin() + (lo - first), read.begin() + (hi - first), want.begin() + (lo - from));
  forEachStored(from, to, [&](int64_t index, uint32_t* have, size_t n) {
    const uint32_t* expected = &want[(size_t)(index - from)];
    if (std::memcmp(have, expected, n * 4) == 0) return;
    const int64_t k = std::mismatch(have, have + n, expected).first - have, i = index + k;
    std::fprintf(stderr, "%s: value %lld (line %lld): loaded 0x%08x, expected 0x%08x; fscanf read %zu values\n",
                 kTarget, (long long)i, (long long)i + 1, have[k], expected[k], read.size());
    fuzzFail(kTarget, "the loaded values and the fscanf reference differ", (long long)i);
  });
}

// Saves the world and loads it into the living world: integers come back
// exactly, floats as their "%f" text reads, up to a float that is not finite.
void saveAndReload() {
  std::vector<uint32_t> want, got;
  getValues(want);
  if (!saveState(savedName.c_str())) fuzzFail(kTarget, "saveState failed", 0);
  startLivingWorld();
  LoadReport report;
  loadState(savedName.c_str(), &report);
  getValues(got);
  int64_t stop = kStateFileLines;
  for (int64_t i = kFirstFloatLine; i <= kLastFloatLine && stop == kStateFileLines; ++i) {
    float f;
    char text[64];
    std::memcpy(&f, &want[(size_t)i], 4);
    std::snprintf(text, sizeof text, "%f", (double)f);
    f = std::strtof(text, nullptr);  // "inf" and "nan" stay what they are
    std::memcpy(&want[(size_t)i], &f, 4);
    if (!std::isfinite(f)) stop = i;
  }
  std::copy(living.begin() + stop, living.end(), want.begin() + stop);
  if (got != want || report.valuesRead != stop) fuzzFail(kTarget, "the saved world reads back wrongly", stop);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = fuzzDirectory();
  inputName = dir + "/input.sav";
  savedName = dir + "/saved.sav";
  resetSimulation();
  seedRandom(1234);
  for (int frame = 0; frame < 300; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
  getValues(living);
  pattern.resize(living.size());
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = 0x3f000000u + (uint32_t)i * 2654435761u % 0xffffffu;
  setValues(pattern);
  setTables(PROT_READ);
  forEachStored(0, kStateFileLines, [](int64_t i, uint32_t*, size_t) { blockStarts.push_back(i); });
  blockStarts.push_back(kStateFileLines);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int64_t first = std::max<int64_t>(0, blockStarts[data[0] % blockStarts.size()] - data[1]);
  const uint8_t* text = data + 3;
  const size_t length = size - 3;
  writeInput(inputName.c_str(), text, length);
  const int64_t reach = std::min<int64_t>(kStateFileLines, first + (int64_t)length / 2 + 1);
  setPages(first, reach, PROT_READ | PROT_WRITE);
  LoadReport report;
  {
    TextReader in(inputName.c_str(), readSizeFor(data[2]), putBackRoomFor(data[2]));
    if (!in.opened()) std::abort();
    readStateValues(in, first, &report);
  }
  std::FILE* in = std::fopen(inputName.c_str(), "rb");
  if (!in) std::abort();
  size_t end = 0;
  const std::vector<uint32_t> read =
      referenceRead(in, kStateFileLines - first, kFirstFloatLine - first, kLastFloatLine - first, &end);
  std::fclose(in);

  // Beside the values in reach, the rest of their pages, the partial pages
  // at the tables' ends and foodDivisor (outside the tables) were writable.
  const int64_t writable[][2] = {{std::max<int64_t>(0, first - 1024), std::min(kStateFileLines, reach + 1024)},
                                 {0, 1024},
                                 {kUnitTableLine - 1024, kUnitTableLine + 1024},
                                 {kStateFileLines - 1024, kStateFileLines},
                                 {kLastFloatLine, kLastFloatLine + 1}};
  for (const auto& range : writable) compareLoaded(range[0], range[1], first, read);
  const size_t next = nextText(text, length, end);
  const bool complete = first + (int64_t)read.size() == kStateFileLines;
  if (report.valuesRead != (int64_t)read.size()) fuzzFail(kTarget, "the report counts other values", report.valuesRead);
  if (report.stopLine != (complete ? 0 : lineAt(text, next))) fuzzFail(kTarget, "wrong stop line", report.stopLine);
  if (report.trailing != (complete && next < length)) fuzzFail(kTarget, "wrong text after the values", report.trailing);
  setValues(pattern, first, first + (int64_t)read.size());
  setPages(first, reach, PROT_READ);

  // The same bytes come back often (a mutation that changes nothing, an
  // input tried again): the costly checks run once for each.
  static std::unordered_set<size_t> checked;
  const size_t hash = inputHash(data, size);
  if (hash % 512 == 0 && checked.insert(hash).second) {
    setTables(PROT_READ | PROT_WRITE);
    startLivingWorld();
    TextReader again(inputName.c_str());
    LoadReport ignored;
    readStateValues(again, first, &ignored);
    simulation.reseeding = 0;
    for (int frame = 0; frame < 3; ++frame) {
      simulateFrame();
      regulatePopulation();
    }
    if (hash % 65536 == 0) saveAndReload();
    setValues(pattern);
    setTables(PROT_READ);
  }
  return 0;
}
