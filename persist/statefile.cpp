#include "persist/statefile.h"

#include <array>
#include <cstring>

#include "persist/notice.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// The integer blocks of a unit table, in file order.
template <typename Table>
auto unitBlocks(Table& t) {
  return std::array{t.posX,  t.posY,  t.targetX, t.targetY,      t.homeX,    t.homeY,
                    t.awayX, t.awayY, t.mode,    t.searchRadius, t.sowTimer, t.status,
                    t.age,   t.stock, t.paceCounter, t.spareA,   t.spareB};
}

template <typename Field>
auto grids(Field& f) {
  return std::array{f.cells, f.nextCells, f.neighbourCounts, f.claimMarks, f.skipRuns};
}

bool writeState(const char* name, const CellField& cellField, const UnitTable& table, float divisor,
                bool notice) {
  TextWriter out(name);
  if (!out.ok()) return false;
  if (notice) showFileNotice("Saving...");
  for (const int32_t* grid : grids(cellField)) out.putInts(grid, kCellCount);
  for (const int32_t* block : unitBlocks(table)) out.putInts(block, kMaxUnits);
  out.putInts(&table.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  for (int u = 0; u < kMaxUnits; ++u) out.putFloat(table.energy[u]);
  out.putFloat(divisor);
  for (int u = 0; u < kMaxUnits; ++u) out.putInts(table.genome[u].data(), kGeneCount);
  return out.finish();
}

}  // namespace

bool saveState(const char* name) { return writeState(name, field, units, foodDivisor, true); }

void takeStateSnapshot(StateSnapshot& snapshot) {
  snapshot.field = field;
  snapshot.units = units;
  snapshot.foodDivisor = foodDivisor;
}

bool stateMatchesSnapshot(const StateSnapshot& snapshot) {
  // Every table is made of 32-bit values only, so a byte comparison is a
  // value comparison (a float compares by its bits: -0 and 0 differ, as
  // their texts do).
  return std::memcmp(&snapshot.field, &field, sizeof field) == 0 &&
         std::memcmp(&snapshot.units, &units, sizeof units) == 0 &&
         std::memcmp(&snapshot.foodDivisor, &foodDivisor, sizeof foodDivisor) == 0;
}

bool saveStateSnapshot(const char* name, const StateSnapshot& snapshot) {
  return writeState(name, snapshot.field, snapshot.units, snapshot.foodDivisor, false);
}

bool loadState(const char* name, LoadReport* report) {
  TextReader in(name);
  LoadReport found;
  found.openError = in.openError();
  if (!in.opened()) {
    if (report) *report = found;
    return false;
  }
  showFileNotice("Loading...");
  // Each block reads on only if the one before it was complete.
  int64_t& read = found.valuesRead;
  auto ints = [&](int32_t* values, size_t count) {
    const size_t n = in.readInts(values, count);
    read += (int64_t)n;
    return n == count;
  };
  auto aFloat = [&](float* value) {
    const bool ok = in.readFloat(value);
    read += ok;
    return ok;
  };
  bool going = true;
  for (int32_t* grid : grids(field)) going = going && ints(grid, kCellCount);
  for (int32_t* block : unitBlocks(units)) going = going && ints(block, kMaxUnits);
  going = going && ints(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  for (int u = 0; going && u < kMaxUnits; ++u) going = aFloat(&units.energy[u]);
  going = going && aFloat(&foodDivisor);
  for (int u = 0; going && u < kMaxUnits; ++u) going = ints(units.genome[u].data(), kGeneCount);
  if (going)
    found.trailing = in.moreText();
  else
    found.stopLine = in.line();
  touchField();
  reseeding = 0;
  if (report) *report = found;
  return true;
}
