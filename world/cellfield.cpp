// The field's two forms, single cells, and the plain passes.
#include "world/cellfield.h"

#include <cstring>

#include "world/packed.h"

namespace world_detail {
CellField grids;
PackedField packed;
// At start every grid entry and every bit is 0: the packed form holds the
// field, and the grids (whose skip runs are 0, not what a step leaves) agree.
bool gridsAreTruth = false;
bool gridsCurrent = true;
}  // namespace world_detail

using namespace world_detail;

bool usePlainPaths = false;

const CellField& cellGrids() {
  if (!gridsAreTruth && !gridsCurrent) syncGrids();
  return grids;
}

CellField& editCellGrids() {
  if (!gridsAreTruth) {
    if (!gridsCurrent) syncGrids();
    gridsAreTruth = true;
  }
  return grids;
}

int64_t countLiveCells() {
  int64_t n = 0;
  if (gridsAreTruth) {
    for (int i = 0; i < kCellCount; ++i) n += grids.cells[i] == Live;
  } else {
    for (const auto& row : packed.live)
      for (uint64_t word : row) n += setBits(word);
  }
  return n;
}

void clearField() {
  std::memset(&grids, 0, sizeof grids);
  std::memset(&packed, 0, sizeof packed);
  std::memset(packed.shownChanged, 0xff, sizeof packed.shownChanged);
  gridsAreTruth = false;
  gridsCurrent = true;
  packed.runsFromNext = false;  // the grids' runs are 0, not what a step leaves
}

bool eatCell(int64_t x64, int64_t y64) {
  if (!inField(x64, y64)) return false;
  const int x = (int)x64, y = (int)y64;
  if (gridsAreTruth) {
    int32_t& cell = grids.cells[cellIndex(x, y)];
    if (cell != Live) return false;
    cell = Empty;
    for (int nx = x - 1; nx <= x + 1; ++nx)
      for (int ny = y - 1; ny <= y + 1; ++ny)
        if ((nx != x || ny != y) && inField(nx, ny)) grids.neighbourCounts[cellIndex(nx, ny)] -= 1;
    return true;
  }
  if (!bitAt(packed.live, x, y)) return false;
  clearBit(packed.live, x, y);
  // Counts that follow the Live cells drop by themselves; held ones are
  // lowered where they are held.
  for (int nx = x - 1; nx <= x + 1; ++nx) {
    if (nx < 0 || nx >= kWorldWidth) continue;
    uint32_t held = window3(packed.heldCounts, nx, y) & (nx == x ? 5 : 7);
    for (; held; held &= held - 1) grids.neighbourCounts[cellIndex(nx, y - 1 + __builtin_ctz(held))] -= 1;
  }
  packed.shownChanged[x] |= (uint16_t)(1u << (y >> 6));
  gridsCurrent = false;
  return true;
}

void copyField(FieldCopy& copy) {
  copy.packed = packed;
  copy.grids = grids;
  copy.gridsAreTruth = gridsAreTruth;
  copy.gridsCurrent = gridsCurrent;
}

void restoreField(const FieldCopy& copy) {
  gridsAreTruth = copy.gridsAreTruth;
  gridsCurrent = copy.gridsCurrent;
  // A packed form that keeps nothing in the grids comes back without them.
  const PackedField& p = copy.packed;
  const bool gridsNeeded = gridsAreTruth || !p.runsFromNext || p.exceptionWords.count || p.exceptionWords.overflow ||
                           p.claimWords.count || p.claimWords.overflow;
  if (gridsNeeded)
    grids = copy.grids;
  else
    gridsCurrent = false;
  packed = p;
}

void preparePackedCells() { usePackedForm(); }

void takeShownChanges(uint16_t changes[kWorldWidth]) {
  std::memcpy(changes, packed.shownChanged, sizeof packed.shownChanged);
  std::memset(packed.shownChanged, 0, sizeof packed.shownChanged);
}

void stepGeneration() {
  if (usePlainPaths) return stepGenerationPlain();
  usePackedForm();
  stepPacked();
}

// --- The plain passes ----------------------------------------------------

namespace {

void rulePass() {
  for (int i = 0; i < kCellCount; ++i)
    grids.nextCells[i] = ruleNext(grids.cells[i], grids.neighbourCounts[i], grids.nextCells[i]);
}

// Clears counts, marks and runs, copies the new states, and records for each
// positive cell how many non-positive cells follow it in its column.
void copyPass() {
  for (int x = 0; x < kWorldWidth; ++x) {
    int anchor = cellIndex(x, 0);
    for (int y = 0; y < kWorldHeight; ++y) {
      int i = cellIndex(x, y);
      grids.neighbourCounts[i] = 0;
      grids.claimMarks[i] = 0;
      grids.skipRuns[i] = 0;
      grids.cells[i] = grids.nextCells[i];
      if (grids.nextCells[i] > 0)
        anchor = i;
      else
        grids.skipRuns[anchor] += 1;
    }
  }
}

void raiseNeighbours(int x, int y) {
  for (int dx = -1; dx <= 1; ++dx) {
    int nx = x + dx;
    if (nx < 0 || nx >= kWorldWidth) continue;
    for (int dy = -1; dy <= 1; ++dy) {
      int ny = y + dy;
      if ((dx == 0 && dy == 0) || ny < 0 || ny >= kWorldHeight) continue;
      grids.neighbourCounts[cellIndex(nx, ny)] += 1;
    }
  }
}

void recountPass() {
  for (int x = 0; x < kWorldWidth; ++x) {
    int y = 0;
    while (y < kWorldHeight) {
      int i = cellIndex(x, y);
      if (grids.nextCells[i] == Live) raiseNeighbours(x, y);
      if (grids.nextCells[i] > 0) {
        y += grids.skipRuns[i];
        grids.skipRuns[i] = 0;
      }
      y += 1;
    }
  }
}

}  // namespace

void stepGenerationPlain() {
  editCellGrids();
  rulePass();
  copyPass();
  recountPass();
}
