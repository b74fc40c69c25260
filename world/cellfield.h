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

// One Life generation over the whole field. Every grid entry comes out as
// the three plain passes (rule, copy, recount) leave it, skipRuns included.
void stepGeneration();
// Those three passes as written, over every cell.
void stepGenerationPlain();

// The number of Live cells now.
int64_t countLiveCells();

// Sets every grid entry of the field to 0.
void clearField();

// The fast paths of the simulation (this step, the food search, contests)
// have plain versions that they must match exactly; when this is set the
// plain versions run instead.
extern bool usePlainPaths;

// Where the field is quiet. The step skips rows whose cells, counts, next
// states and claim marks are all 0, far from anything else: for each column
// it keeps the row range that may hold anything else, and everything
// outside that range must stay quiet. Code that writes a non-zero value into
// a grid (or any value into skipRuns) outside the step widens the range with
// touchCells or, for a whole new field, touchField. Writing zeros into
// cells and neighbourCounts needs no touch.
//
// Between steps the only non-zero claim marks are those listed here, and
// every skipRuns entry but the column heads is 0, unless the field came from
// elsewhere (a load, a clear, the plain passes): then scratchKnown is false
// and the next step clears marks and runs over every row it visits.
constexpr int kClaimListSize = 8192;

struct FieldActivity {
  int16_t low[kWorldWidth];   // first row that may be active
  int16_t high[kWorldWidth];  // last row, below low when none is
  bool scratchKnown;
  int32_t claimCount;
  int32_t claimList[kClaimListSize];
};
extern FieldActivity activity;

void touchField();
// Sets the claim mark of a cell: the only way marks are set between steps.
void markClaim(int x, int y);
// The square of cells within r of (x, y), clipped to the field.
inline void touchCells(int64_t x, int64_t y, int r) {
  for (int64_t cx = x - r; cx <= x + r; ++cx) {
    if (cx < 0 || cx >= kWorldWidth) continue;
    int64_t lo = y - r < 0 ? 0 : y - r, hi = y + r >= kWorldHeight ? kWorldHeight - 1 : y + r;
    if (lo > hi) continue;
    if (lo < activity.low[cx]) activity.low[cx] = (int16_t)lo;
    if (hi > activity.high[cx]) activity.high[cx] = (int16_t)hi;
  }
}
