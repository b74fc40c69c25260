#include "persist/statefile.h"

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

}  // namespace

bool saveState(const char* name) {
  TextWriter out(name);
  if (!out.ok()) return false;
  showFileNotice("Saving...");
  const CellField& g = cellGrids();
  for (const int32_t* grid : {g.cells, g.nextCells, g.neighbourCounts, g.claimMarks, g.skipRuns})
    out.putInts(grid, kCellCount);
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
  // Values not read keep what they held: the grids are brought up to date
  // before they are written.
  CellField& g = editCellGrids();
  for (int32_t* grid : {g.cells, g.nextCells, g.neighbourCounts, g.claimMarks, g.skipRuns})
    going = going && ints(grid, kCellCount);
  for (int32_t* block : kUnitBlocks) going = going && ints(block, kMaxUnits);
  going = going && ints(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  for (int u = 0; going && u < kMaxUnits; ++u) going = aFloat(&units.energy[u]);
  going = going && aFloat(&foodDivisor);
  for (int u = 0; going && u < kMaxUnits; ++u) going = ints(units.genome[u].data(), kGeneCount);
  if (going)
    found.trailing = in.moreText();
  else
    found.stopLine = in.line();
  reseeding = 0;
  if (report) *report = found;
  return true;
}
