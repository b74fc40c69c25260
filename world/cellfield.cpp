#include "world/cellfield.h"

#include <algorithm>
#include <cstring>

CellField field;
FieldActivity activity;
bool usePlainPaths = false;

void markClaim(int x, int y) {
  field.claimMarks[cellIndex(x, y)] = 1;
  touchCells(x, y, 0);
  if (activity.claimCount < kClaimListSize)
    activity.claimList[activity.claimCount++] = cellIndex(x, y);
  else
    activity.scratchKnown = false;
}

void touchField() {
  activity.scratchKnown = false;
  std::fill(activity.low, activity.low + kWorldWidth, (int16_t)0);
  std::fill(activity.high, activity.high + kWorldWidth, (int16_t)(kWorldHeight - 1));
}

int64_t countLiveCells() {
  int64_t n = 0;
  for (int i = 0; i < kCellCount; ++i) n += field.cells[i] == Live;
  return n;
}

void clearField() {
  std::memset(&field, 0, sizeof field);
  // Every column head now holds a run length of 0 where a step leaves the
  // column's full length: the step must visit everything once.
  touchField();
}

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

// --- The plain passes ----------------------------------------------------

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

// --- The fast step -------------------------------------------------------
//
// What the plain passes leave, column by column: nextCells and cells hold
// the rule's result; claimMarks are 0; neighbourCounts are the true Live
// neighbour counts of the new states (the recount visits every positive cell
// and skips only runs without Live cells); skipRuns are 0 everywhere except
// in a column's head cell when that is not positive, where the copy pass
// left the length of the column's leading non-positive run and the recount
// never clears it.
//
// One sweep does it all: the rule runs one column ahead of the counts, so
// the counts of column x read the new states of columns x - 1 to x + 1.
// Only the rows a column's activity range (and its neighbours') names are
// touched; elsewhere every entry already is what the step would write.

// a where the condition holds, else b.
inline int32_t blend(bool condition, int32_t a, int32_t b) {
  int32_t mask = -(int32_t)condition;
  return (a & mask) | (b & ~mask);
}

// The two column kernels use wider vectors where the processor has them;
// integer results are the same either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define COLUMN_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define COLUMN_KERNEL
#endif

// Rule over rows lo..hi of a column: writes next states, cells and marks.
COLUMN_KERNEL void ruleRows(int x, int lo, int hi, bool clearMarks) {
  int base = cellIndex(x, 0);
  int32_t* __restrict cells = field.cells + base;
  int32_t* __restrict next = field.nextCells + base;
  const int32_t* __restrict counts = field.neighbourCounts + base;
  int32_t* __restrict marks = field.claimMarks + base;
  for (int y = lo; y <= hi; ++y) {
    int32_t s = cells[y], n = counts[y];
    int32_t born = n == 3;
    int32_t lives = (n == 2) | born;
    // Masks rather than branches, so the loop runs on vectors.
    int32_t r = next[y];
    r = blend(s == Dormant, Dormant - 7 * born, r);
    r = blend(s == Sprout, Live, r);
    r = blend(s == Live, lives, r);
    r = blend(s == Empty, born, r);
    next[y] = r;
    cells[y] = r;
  }
  if (clearMarks)
    for (int y = lo; y <= hi; ++y) marks[y] = 0;
}

int16_t newLow[kWorldWidth], newHigh[kWorldWidth];

// Counts, runs and the new activity range of column x over rows lo..hi.
COLUMN_KERNEL void countRows(int x, int lo, int hi, bool clearRuns) {
  static int32_t across[kWorldHeight + 2];  // Live cells of columns x-1..x+1, row y at y + 1
  static const int32_t outside[kWorldHeight] = {};  // the columns beyond the edges
  const int32_t* __restrict left = x > 0 ? field.nextCells + cellIndex(x - 1, 0) : outside;
  const int32_t* __restrict mid = field.nextCells + cellIndex(x, 0);
  const int32_t* __restrict right = x + 1 < kWorldWidth ? field.nextCells + cellIndex(x + 1, 0) : outside;
  int from = std::max(lo - 1, 0), to = std::min(hi + 1, kWorldHeight - 1);
  across[from] = 0;  // row from - 1 (outside the field or not needed)
  across[to + 2] = 0;
  for (int y = from; y <= to; ++y) {
    across[y + 1] = (left[y] == Live) + (mid[y] == Live) + (right[y] == Live);
  }
  int32_t* __restrict counts = field.neighbourCounts + cellIndex(x, 0);
  int32_t* __restrict runs = field.skipRuns + cellIndex(x, 0);
  for (int y = lo; y <= hi; ++y) counts[y] = across[y] + across[y + 1] + across[y + 2] - (mid[y] == Live);
  if (clearRuns)
    for (int y = lo; y <= hi; ++y) runs[y] = 0;
  // The first and last rows that are not quiet now, and the first positive
  // state (outside lo..hi every state is 0). On busy columns these scans end
  // after a few rows.
  int first = lo, last = hi, firstPositive = lo;
  while (first <= hi && (counts[first] | mid[first]) == 0) ++first;
  while (last >= first && (counts[last] | mid[last]) == 0) --last;
  while (firstPositive <= hi && mid[firstPositive] <= 0) ++firstPositive;
  if (first > hi) first = kWorldHeight, last = -1;
  if (firstPositive > hi) firstPositive = kWorldHeight;
  newLow[x] = (int16_t)first;
  newHigh[x] = (int16_t)last;
  // The head cell's run: the number of non-positive cells before the first
  // positive one (the whole column when there is none), 0 when the head is
  // positive itself.
  runs[0] = firstPositive;
}

void stepFast() {
  // Rows whose counts may change in column x: the active rows of x - 1..x + 1
  // widened by one.
  auto span = [](int x, int* lo, int* hi) {
    int l = kWorldHeight, h = -1;
    for (int c = std::max(x - 1, 0); c <= std::min(x + 1, kWorldWidth - 1); ++c) {
      l = std::min<int>(l, activity.low[c]);
      h = std::max<int>(h, activity.high[c]);
    }
    *lo = std::max(l - 1, 0);
    *hi = std::min(h + 1, kWorldHeight - 1);
  };
  // Marks and runs: either only the listed claims need clearing, or every
  // row the step visits.
  const bool clearScratch = !activity.scratchKnown;
  if (activity.scratchKnown)
    for (int k = 0; k < activity.claimCount; ++k) field.claimMarks[activity.claimList[k]] = 0;
  if (activity.low[0] <= activity.high[0]) ruleRows(0, activity.low[0], activity.high[0], clearScratch);
  for (int x = 0; x < kWorldWidth; ++x) {
    if (x + 1 < kWorldWidth && activity.low[x + 1] <= activity.high[x + 1])
      ruleRows(x + 1, activity.low[x + 1], activity.high[x + 1], clearScratch);
    int lo, hi;
    span(x, &lo, &hi);
    if (lo <= hi) {
      countRows(x, lo, hi, clearScratch);
    } else {
      // Quiet, and so are both neighbours: every entry, the head's run of
      // the whole column included, already is what the step would write.
      newLow[x] = (int16_t)kWorldHeight;
      newHigh[x] = -1;
    }
    // The old range is still needed by column x + 1's span.
    if (x > 0) {
      activity.low[x - 1] = newLow[x - 1];
      activity.high[x - 1] = newHigh[x - 1];
    }
  }
  activity.low[kWorldWidth - 1] = newLow[kWorldWidth - 1];
  activity.high[kWorldWidth - 1] = newHigh[kWorldWidth - 1];
  activity.scratchKnown = true;
  activity.claimCount = 0;
}

}  // namespace

void stepGenerationPlain() {
  rulePass();
  copyPass();
  recountPass();
  touchField();  // the plain passes keep no activity ranges
}

void stepGeneration() {
  if (usePlainPaths)
    stepGenerationPlain();
  else
    stepFast();
}
