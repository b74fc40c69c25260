// The cell field: a bounded 825 x 525 Life grid (B3/S23) with two extra cell
// states, stored column after column (element (x, y) at x * 525 + y).
#pragma once
#include <cstdint>

constexpr int kWorldWidth = 825;
constexpr int kWorldHeight = 525;
constexpr int kCellCount = kWorldWidth * kWorldHeight;

enum CellState : int32_t { Empty = 0, Live = 1, Sprout = -1, Dormant = 8 };

struct CellField {
  int32_t cells[kCellCount];            // the state of each cell now
  int32_t nextCells[kCellCount];        // states produced by the last step
  int32_t neighbourCounts[kCellCount];  // the count the next step's rule reads
  int32_t claimMarks[kCellCount];       // 1 where a Unit chose the cell as food
  int32_t skipRuns[kCellCount];         // dead-run lengths, scratch of the step
};

extern CellField field;

inline int cellIndex(int x, int y) { return x * kWorldHeight + y; }
inline bool inField(int64_t x, int64_t y) {
  return x >= 0 && x < kWorldWidth && y >= 0 && y < kWorldHeight;
}

// One Life generation over the whole field: rule, copy and recount passes.
void stepGeneration();

// Sets every grid entry of the field to 0.
void clearField();
