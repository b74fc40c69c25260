#include "persist/statefile.h"

#include <algorithm>

#include "persist/notice.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// The integer blocks of the unit table, in file order.
int32_t* const kUnitBlocks[] = {
    units.posX,   units.posY,         units.targetX,   units.targetY, units.homeX,
    units.homeY,  units.awayX,        units.awayY,     units.mode,    units.searchRadius,
    units.sowTimer, units.status,     units.age,       units.stock,   units.paceCounter,
    units.spareA, units.spareB,
};

int32_t* const kGrids[] = {field.cells, field.nextCells, field.neighbourCounts, field.claimMarks,
                           field.skipRuns};

}  // namespace

bool saveState(const char* name) {
  TextWriter out(name);
  if (!out.ok()) return false;
  showFileNotice("Saving...");
  for (int32_t* grid : kGrids) out.putInts(grid, kCellCount);
  for (int32_t* block : kUnitBlocks) out.putInts(block, kMaxUnits);
  out.putInts(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  for (int u = 0; u < kMaxUnits; ++u) out.putFloat(units.energy[u]);
  out.putFloat(foodDivisor);
  for (int u = 0; u < kMaxUnits; ++u) out.putInts(units.genome[u].data(), kGeneCount);
  return out.finish();
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
  readStateValues(in, 0, &found);
  touchField();
  reseeding = 0;
  if (report) *report = found;
  return true;
}

namespace {
size_t readValues(TextReader& in, int32_t* values, size_t count) { return in.readInts(values, count); }
size_t readValues(TextReader& in, float* values, size_t count) {
  size_t n = 0;
  while (n < count && in.readFloat(&values[n])) ++n;
  return n;
}
}  // namespace

void readStateValues(TextReader& in, int64_t first, LoadReport* found) {
  // Each block reads on only if the one before it was complete; the values
  // before `first` are passed over.
  int64_t index = 0;  // of the block's first value
  auto block = [&](auto* values, size_t count) {
    const int64_t skip = std::clamp<int64_t>(first - index, 0, (int64_t)count);
    index += (int64_t)count;
    const size_t wanted = count - (size_t)skip;
    const size_t n = readValues(in, values + skip, wanted);
    found->valuesRead += (int64_t)n;
    return n == wanted;
  };
  bool going = true;
  for (int32_t* grid : kGrids) going = going && block(grid, kCellCount);
  for (int32_t* values : kUnitBlocks) going = going && block(values, kMaxUnits);
  going = going && block(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  going = going && block(units.energy, kMaxUnits);
  going = going && block(&foodDivisor, 1);
  for (int u = 0; going && u < kMaxUnits; ++u) going = block(units.genome[u].data(), kGeneCount);
  if (going)
    found->trailing = in.moreText();
  else
    found->stopLine = in.line();
}
