#include "world/cellfield.h"

#include <cstring>

CellField field;

void clearField() { std::memset(&field, 0, sizeof field); }

namespace {

inline int32_t ruleNext(int32_t state, int32_t count, int32_t previous) {
  switch (state) {
    case Empty: return count == 3 ? Live : Empty;
    case Live: return (count == 2 || count == 3) ? Live : Empty;
    case Sprout: return Live;
    case Dormant: return count == 3 ? Live : Dormant;
    default: return previous;  // unnamed states keep their next entry
  }
}

void rulePass() {
  for (int i = 0; i < kCellCount; ++i)
    field.nextCells[i] = ruleNext(field.cells[i], field.neighbourCounts[i], field.nextCells[i]);
}

// Clears counts, marks and runs, copies the new states, and records for each
// positive cell how many non-positive cells follow it in its column.
void copyPass() {
  for (int x = 0; x < kWorldWidth; ++x) {
    int anchor = cellIndex(x, 0);
    for (int y = 0; y < kWorldHeight; ++y) {
      int i = cellIndex(x, y);
      field.neighbourCounts[i] = 0;
      field.claimMarks[i] = 0;
      field.skipRuns[i] = 0;
      field.cells[i] = field.nextCells[i];
      if (field.nextCells[i] > 0)
        anchor = i;
      else
        field.skipRuns[anchor] += 1;
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
      field.neighbourCounts[cellIndex(nx, ny)] += 1;
    }
  }
}

void recountPass() {
  for (int x = 0; x < kWorldWidth; ++x) {
    int y = 0;
    while (y < kWorldHeight) {
      int i = cellIndex(x, y);
      if (field.nextCells[i] == Live) raiseNeighbours(x, y);
      if (field.nextCells[i] > 0) {
        y += field.skipRuns[i];
        field.skipRuns[i] = 0;
      }
      y += 1;
    }
  }
}

}  // namespace

void stepGeneration() {
  rulePass();
  copyPass();
  recountPass();
}
