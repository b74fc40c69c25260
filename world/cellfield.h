// The cell field: a bounded 825 x 525 Life grid (B3/S23) with two extra cell
// states, stored column after column (element (x, y) at x * 525 + y).
//
// How code outside world/ reaches the field
// -----------------------------------------
// The five grids of CellField are the field as the state file, the plain
// passes and the tests see it. The fast step does not rewrite them every
// generation: it keeps the cells as packed bits (see "The packed form"
// below) and holds in the grids only what bits cannot say (states other than
// Empty and Live, counts that sowing or a file set, claim marks, a file's
// skip runs). So the field is kept in one of two forms, and nobody outside
// world/ touches either directly:
//
//   cellGrids()      brings the grids up to date and returns them, to read
//                    (a pass over the whole field when the packed form has
//                    changed since: in a loop that also changes the field,
//                    read single cells instead).
//   editCellGrids()  brings them up to date and returns them, to write: the
//                    grids are then the truth until a call that works on the
//                    packed form (the fast step, preparePackedCells, which the
//                    fast food search and the drawing make) takes them over.
//                    Write through the reference only until then; call
//                    editCellGrids() again to write after such a call.
//
// Single cells, in either form, as the Units use them:
//   cellState, claimMark, neighbourCount       read one entry
//   markClaim, eatCell, setNeighbourCount      the writes a Unit makes
// and countLiveCells, clearField, stepGeneration, stepGenerationPlain,
// copyField and restoreField.
//
// The drawing and the fast food search read the packed form 64 cells at a
// time: preparePackedCells, then shownWord, foodWord (foodRow), takeShownChanges.
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

inline int cellIndex(int x, int y) { return x * kWorldHeight + y; }
inline bool inField(int64_t x, int64_t y) {
  return x >= 0 && x < kWorldWidth && y >= 0 && y < kWorldHeight;
}

// The grids, up to date, to read. The reference stays valid; its contents
// are current until the next field call that changes the field.
const CellField& cellGrids();
// The grids, up to date, to write (see above).
CellField& editCellGrids();

// One Life generation over the whole field. Every grid entry comes out as
// the three plain passes (rule, copy, recount) leave it, skipRuns included.
void stepGeneration();
// Those three passes as written, over every cell of the grids.
void stepGenerationPlain();

// The number of Live cells now.
int64_t countLiveCells();

// Sets every grid entry of the field to 0.
void clearField();

// A copy of the whole field, in whichever form it is kept, to start from
// again and again (benchmarks, tests). Large: keep it static.
struct FieldCopy;
void copyField(FieldCopy& copy);
void restoreField(const FieldCopy& copy);

// The fast paths of the simulation (this step, the food search, contests)
// have plain versions that they must match exactly; when this is set the
// plain versions run instead.
extern bool usePlainPaths;

// --- The packed form ------------------------------------------------------
//
// A plane holds one bit per cell: word w of column x has bit b for the cell
// (x, 64 w + b). The words are stored row of words by row of words: word w
// of every column, then word w + 1, so that neighbouring columns lie side by
// side (the step works on many columns at once, and the food search and the
// drawing read a few neighbouring columns). Column x sits at [w][x + 1]; the
// columns on either side of the field and the rows from 525 on stay 0.

constexpr int kColumnWords = 9;  // rows 0..575
constexpr int kPlaneWidth = 832;  // words per row of words: columns -1..825, and spare
constexpr uint64_t kLastWordRows = (uint64_t(1) << (kWorldHeight - 64 * (kColumnWords - 1))) - 1;

using BitPlane = uint64_t[kColumnWords][kPlaneWidth];

// Words of a plane that may hold set bits (w * kPlaneWidth + x + 1), so
// that the step visits and clears only those; past its capacity every word
// may.
struct WordList {
  static constexpr int kCapacity = 4096;
  int32_t count;
  bool overflow;
  int32_t words[kCapacity];
  void add(int32_t k) {
    if (count < kCapacity)
      words[count++] = k;
    else
      overflow = true;
  }
  void clear() {
    count = 0;
    overflow = false;
  }
};

struct PackedField {
  alignas(64) BitPlane live;        // cells == Live
  alignas(64) BitPlane nextLive;    // nextCells == Live
  alignas(64) BitPlane odd;         // cells neither Empty nor Live: the value is in the grids
  alignas(64) BitPlane nextOdd;     // nextCells neither Empty nor Live: likewise
  alignas(64) BitPlane heldCounts;  // counts the grids hold; elsewhere the count is the
                                    // number of Live neighbours
  alignas(64) BitPlane claims;      // claim marks that are not 0: the value is in the grids
  WordList exceptionWords;          // odd, nextOdd or heldCounts may have bits there
  WordList claimWords;              // claims may have bits there
  bool runsFromNext;                // skipRuns follow from nextCells as a step leaves them;
                                    // when false the grids hold them (a file's, until a step)
  uint16_t shownChanged[kWorldWidth];  // words whose non-Empty cells may have changed
};

namespace world_detail {
extern CellField grids;
extern PackedField packed;
extern bool gridsAreTruth;  // the grids hold the field; the packed form is stale
extern bool gridsCurrent;   // (packed form) the grids agree with it

inline int wordIndex(int x, int w) { return w * kPlaneWidth + x + 1; }
inline uint64_t& wordOf(BitPlane& plane, int x, int w) { return plane[w][x + 1]; }
inline uint64_t wordOf(const BitPlane& plane, int x, int w) { return plane[w][x + 1]; }
inline bool bitAt(const BitPlane& plane, int x, int y) { return (plane[y >> 6][x + 1] >> (y & 63)) & 1; }
inline void setBit(BitPlane& plane, int x, int y) { plane[y >> 6][x + 1] |= uint64_t(1) << (y & 63); }
inline void clearBit(BitPlane& plane, int x, int y) { plane[y >> 6][x + 1] &= ~(uint64_t(1) << (y & 63)); }

// Rows y - 1, y and y + 1 of column x (-1..825) as bits 0, 1 and 2; row -1
// is 0.
inline uint32_t window3(const BitPlane& plane, int x, int y) {
  const int b = y & 63;
  if (b >= 1 && b <= 62) return (uint32_t)(plane[y >> 6][x + 1] >> (b - 1)) & 7;
  return (y > 0 ? (uint32_t)bitAt(plane, x, y - 1) : 0) | (uint32_t)bitAt(plane, x, y) << 1 |
         (uint32_t)bitAt(plane, x, y + 1) << 2;
}

// Live cells among the eight neighbours of (x, y), from the packed form.
inline int liveNeighbours(int x, int y) {
  static constexpr uint8_t kSetBits[8] = {0, 1, 1, 2, 1, 2, 2, 3};
  return kSetBits[window3(packed.live, x - 1, y)] + kSetBits[window3(packed.live, x, y) & 5] +
         kSetBits[window3(packed.live, x + 1, y)];
}

// The number of set bits of a word (without relying on a processor
// instruction that not every machine has).
inline int setBits(uint64_t v) {
  v = v - ((v >> 1) & 0x5555555555555555ull);
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0f0f0f0f0f0f0f0full;
  return (int)((v * 0x0101010101010101ull) >> 56);
}

inline bool hasException(int k) {
  return ((&packed.odd[0][0])[k] | (&packed.nextOdd[0][0])[k] | (&packed.heldCounts[0][0])[k]) != 0;
}
}  // namespace world_detail

// --- Single cells, in either form -----------------------------------------

inline int32_t cellState(int x, int y) {
  using namespace world_detail;
  if (gridsAreTruth || bitAt(packed.odd, x, y)) return grids.cells[cellIndex(x, y)];
  return bitAt(packed.live, x, y) ? Live : Empty;
}

inline int32_t claimMark(int x, int y) {
  using namespace world_detail;
  if (gridsAreTruth || bitAt(packed.claims, x, y)) return grids.claimMarks[cellIndex(x, y)];
  return 0;
}

inline int32_t neighbourCount(int x, int y) {
  using namespace world_detail;
  if (gridsAreTruth || bitAt(packed.heldCounts, x, y)) return grids.neighbourCounts[cellIndex(x, y)];
  return liveNeighbours(x, y);
}

// Sets the claim mark of a cell to 1.
inline void markClaim(int x, int y) {
  using namespace world_detail;
  grids.claimMarks[cellIndex(x, y)] = 1;
  if (gridsAreTruth) return;
  if (wordOf(packed.claims, x, y >> 6) == 0) packed.claimWords.add(wordIndex(x, y >> 6));
  setBit(packed.claims, x, y);
}

// Sets the neighbour count of a cell, as sowing does.
inline void setNeighbourCount(int x, int y, int32_t count) {
  using namespace world_detail;
  grids.neighbourCounts[cellIndex(x, y)] = count;
  if (gridsAreTruth) return;
  if (!hasException(wordIndex(x, y >> 6))) packed.exceptionWords.add(wordIndex(x, y >> 6));
  setBit(packed.heldCounts, x, y);
}

// When (x, y) lies in the field and is Live: makes it Empty, lowers the
// count of each of its in-field neighbours by 1 and returns true.
bool eatCell(int64_t x, int64_t y);

// --- Reading the packed form ----------------------------------------------
//
// For readers that take cells 64 at a time (the drawing, the fast food
// search): preparePackedCells brings the packed form up to date; the words
// below then follow every field call until the next editCellGrids().

void preparePackedCells();

// Bit b set where the cell (x, 64 w + b) is not Empty.
inline uint64_t shownWord(int x, int w) {
  return world_detail::packed.live[w][x + 1] | world_detail::packed.odd[w][x + 1];
}
// Bit b set where the cell (x, 64 w + b) is Live and its claim mark is 0.
inline uint64_t foodWord(int x, int w) {
  return world_detail::packed.live[w][x + 1] & ~world_detail::packed.claims[w][x + 1];
}
// The words of row of words w in which foodWord's bits lie, for a reader
// that slides along the columns (the near food search): column x at [x].
struct FoodRow {
  const uint64_t* live;
  const uint64_t* claims;
};
inline FoodRow foodRow(int w) { return {&world_detail::packed.live[w][1], &world_detail::packed.claims[w][1]}; }
inline void foodColumn(int x, uint64_t out[kColumnWords]) {
  for (int w = 0; w < kColumnWords; ++w) out[w] = foodWord(x, w);
}
inline bool foodAt(int x, int y) { return (foodWord(x, y >> 6) >> (y & 63)) & 1; }

// For each column, one bit per word whose shown bits may have changed since
// the last call (every bit after a change the field cannot follow word by
// word, such as a load); clears the record.
void takeShownChanges(uint16_t changes[kWorldWidth]);

struct FieldCopy {
  CellField grids;
  PackedField packed;
  bool gridsAreTruth, gridsCurrent;
};
