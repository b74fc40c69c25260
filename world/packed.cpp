// The packed form of the field: its Life step, 64 cells of a column at a
// time, and the moves between it and the grids.
//
// What the plain passes leave after a step: nextCells and cells hold the
// rule's result; claim marks are 0; every count is the number of Live
// neighbours of the new states (the recount visits every positive cell and
// skips only runs without Live cells); every skip run is 0 except in a
// column's head cell when that is not positive, where the copy pass left the
// length of the column's leading non-positive run and the recount never
// clears it. So after a packed step the grids' contents follow from the
// bits: counts from the Live bits, runs from the next states. Only states
// other than Empty and Live need their values kept in the grids.
#include <cstring>
#include <initializer_list>

#include "world/packed.h"

namespace world_detail {

namespace {

constexpr int kWords = kColumnWords * kPlaneWidth;
constexpr uint64_t kZeroRow[kPlaneWidth] = {};

inline uint64_t* flat(BitPlane& plane) { return &plane[0][0]; }

// The step's kernels use wider vectors where the processor has them;
// integer results are the same either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define ROW_KERNEL
#endif

// Four words of a row at once, as the processor's vectors allow; read and
// written in place at any word (8-byte alignment, may alias the planes).
typedef uint64_t Lanes __attribute__((vector_size(32), aligned(8), may_alias));
static_assert(kPlaneWidth % 4 == 0 && kWorldWidth + 6 <= kPlaneWidth, "rows of words are read four at a time");
#define LANES(p) (*reinterpret_cast<const Lanes*>(p))
#define LANES_OUT(p) (*reinterpret_cast<Lanes*>(p))

// The vertical sums of one row of words: for each cell, the Live cells among
// rows y - 1, y and y + 1 of its column, as two bit planes.
ROW_KERNEL void rowSums(const uint64_t* up, const uint64_t* mid, const uint64_t* down, uint64_t* low, uint64_t* high) {
  for (int c = 0; c < kPlaneWidth; c += 4) {
    const Lanes m = LANES(mid + c);
    const Lanes u = (m << 1) | (LANES(up + c) >> 63);    // row y - 1
    const Lanes d = (m >> 1) | (LANES(down + c) << 63);  // row y + 1
    const Lanes t = u ^ m;
    LANES_OUT(low + c) = t ^ d;
    LANES_OUT(high + c) = (u & m) | (t & d);
  }
}

// The new Live bits of one row of words from the sums of each column and
// its two neighbours: with total = the Live cells of the 3 x 3 block (the
// cell included), a cell lives when total is 3, or 4 and it is Live itself.
ROW_KERNEL void ruleRow(const uint64_t* low, const uint64_t* high, const uint64_t* mid, uint64_t* out, uint64_t rows) {
  for (int c = 1; c <= kWorldWidth; c += 4) {
    const Lanes a0 = LANES(low + c - 1), b0 = LANES(low + c), c0 = LANES(low + c + 1);
    const Lanes a1 = LANES(high + c - 1), b1 = LANES(high + c), c1 = LANES(high + c + 1);
    const Lanes t0 = a0 ^ b0 ^ c0;                  // weight 1
    const Lanes k0 = (a0 & b0) | (c0 & (a0 ^ b0));  // carry, weight 2
    // total = t0 + 2 * (a1 + b1 + c1 + k0)
    const Lanes x1 = a1 ^ b1, y1 = a1 & b1, x2 = c1 ^ k0, y2 = c1 & k0;
    const Lanes none2 = ~(y1 | y2);
    const Lanes one = (x1 ^ x2) & none2;                             // the weight-2 sum is 1
    const Lanes two = (x1 & x2 & none2) | (~(x1 | x2) & (y1 ^ y2));  // ... is 2
    LANES_OUT(out + c) = ((t0 & one) | (~t0 & two & LANES(mid + c))) & rows;
  }
  // The last pass ran past column 824: the words beyond stay empty.
  std::memset(out + kWorldWidth + 1, 0, sizeof(uint64_t) * (kPlaneWidth - kWorldWidth - 1));
}

// The cells of one word that the word rule cannot decide (states other than
// Empty and Live, held counts), worked one by one.
struct Patch {
  int32_t word;
  uint64_t mask, live, odd;
  uint64_t shownBefore;
};
Patch patches[kWords];

Patch patchWord(int k) {
  const int w = k / kPlaneWidth, x = k % kPlaneWidth - 1;
  const uint64_t odd = packed.odd[w][x + 1], held = packed.heldCounts[w][x + 1];
  const uint64_t live = packed.live[w][x + 1], nextOdd = packed.nextOdd[w][x + 1], nextLive = packed.nextLive[w][x + 1];
  Patch p{k, odd | held, 0, 0, live | odd};
  for (uint64_t bits = p.mask; bits; bits &= bits - 1) {
    const int b = __builtin_ctzll(bits);
    const uint64_t bit = uint64_t(1) << b;
    const int y = 64 * w + b, i = cellIndex(x, y);
    const int32_t state = (odd & bit) ? grids.cells[i] : (int32_t)((live >> b) & 1);
    const int32_t count = (held & bit) ? grids.neighbourCounts[i] : liveNeighbours(x, y);
    const int32_t previous = (nextOdd & bit) ? grids.nextCells[i] : (int32_t)((nextLive >> b) & 1);
    const int32_t next = ruleNext(state, count, previous);
    if (next == Live) {
      p.live |= bit;
    } else if (next != Empty) {
      p.odd |= bit;
      grids.cells[i] = next;
      grids.nextCells[i] = next;
    }
  }
  return p;
}

}  // namespace

void stepPacked() {
  // The cells the word rule cannot decide, first: they read next states that
  // the sweep overwrites.
  int patchCount = 0;
  if (packed.exceptionWords.overflow) {
    for (int k = 0; k < kWords; ++k)
      if (hasException(k)) patches[patchCount++] = patchWord(k);
  } else {
    for (int n = 0; n < packed.exceptionWords.count; ++n) patches[patchCount++] = patchWord(packed.exceptionWords.words[n]);
  }

  // The sweep: the rule on whole words, a row of words at a time.
  static uint64_t low[kPlaneWidth], high[kPlaneWidth];
  for (int w = 0; w < kColumnWords; ++w) {
    rowSums(w > 0 ? packed.live[w - 1] : kZeroRow, packed.live[w], w + 1 < kColumnWords ? packed.live[w + 1] : kZeroRow,
            low, high);
    ruleRow(low, high, packed.live[w], packed.nextLive[w], w + 1 < kColumnWords ? ~uint64_t(0) : kLastWordRows);
  }
  for (int w = 0; w < kColumnWords; ++w)
    for (int x = 0; x < kWorldWidth; ++x)
      packed.shownChanged[x] |= (uint16_t)((packed.nextLive[w][x + 1] != packed.live[w][x + 1]) << w);

  // The worked cells go in; held counts are gone; only the new odd states
  // remain exceptions.
  packed.exceptionWords.clear();
  for (int n = 0; n < patchCount; ++n) {
    const Patch& p = patches[n];
    uint64_t& next = flat(packed.nextLive)[p.word];
    next = (next & ~p.mask) | p.live;
    flat(packed.odd)[p.word] = p.odd;
    flat(packed.nextOdd)[p.word] = p.odd;
    flat(packed.heldCounts)[p.word] = 0;
    if (p.odd) packed.exceptionWords.add(p.word);
    if ((next | p.odd) != p.shownBefore)
      packed.shownChanged[p.word % kPlaneWidth - 1] |= (uint16_t)(1u << (p.word / kPlaneWidth));
  }

  std::memcpy(packed.live, packed.nextLive, sizeof packed.live);

  if (packed.claimWords.overflow) {
    std::memset(packed.claims, 0, sizeof packed.claims);
  } else {
    for (int n = 0; n < packed.claimWords.count; ++n) flat(packed.claims)[packed.claimWords.words[n]] = 0;
  }
  packed.claimWords.clear();

  packed.runsFromNext = true;
  gridsCurrent = false;
}

// --- Between the forms ---------------------------------------------------

void adoptGrids() {
  for (BitPlane* plane : {&packed.live, &packed.nextLive, &packed.odd, &packed.nextOdd, &packed.heldCounts, &packed.claims})
    std::memset(plane, 0, sizeof *plane);
  static int32_t across[kWorldHeight + 2];  // Live cells of columns x-1..x+1, row y at y + 1
  for (int x = 0; x < kWorldWidth; ++x) {
    const int base = cellIndex(x, 0);
    const int32_t* cells = grids.cells + base;
    const int32_t* next = grids.nextCells + base;
    const int32_t* counts = grids.neighbourCounts + base;
    const int32_t* marks = grids.claimMarks + base;
    for (int y = 0; y < kWorldHeight; ++y) {
      int32_t n = cells[y] == Live;
      if (x > 0) n += grids.cells[base - kWorldHeight + y] == Live;
      if (x + 1 < kWorldWidth) n += grids.cells[base + kWorldHeight + y] == Live;
      across[y + 1] = n;
    }
    across[0] = across[kWorldHeight + 1] = 0;
    for (int y = 0; y < kWorldHeight; ++y) {
      const bool isLive = cells[y] == Live;
      if (isLive) setBit(packed.live, x, y);
      if (cells[y] != Live && cells[y] != Empty) setBit(packed.odd, x, y);
      if (next[y] == Live) setBit(packed.nextLive, x, y);
      if (next[y] != Live && next[y] != Empty) setBit(packed.nextOdd, x, y);
      if (counts[y] != across[y] + across[y + 1] + across[y + 2] - (int32_t)isLive) setBit(packed.heldCounts, x, y);
      if (marks[y] != 0) setBit(packed.claims, x, y);
    }
  }
  packed.exceptionWords.clear();
  packed.claimWords.clear();
  for (int k = 0; k < kWords; ++k) {
    if (hasException(k)) packed.exceptionWords.add(k);
    if (flat(packed.claims)[k]) packed.claimWords.add(k);
  }
  std::memset(packed.shownChanged, 0xff, sizeof packed.shownChanged);
  gridsAreTruth = false;
  gridsCurrent = true;
  packed.runsFromNext = false;
}

void syncGrids() {
  static int32_t across[kWorldHeight + 2];
  for (int x = 0; x < kWorldWidth; ++x) {
    const int base = cellIndex(x, 0);
    int32_t* cells = grids.cells + base;
    int32_t* next = grids.nextCells + base;
    int32_t* counts = grids.neighbourCounts + base;
    int32_t* marks = grids.claimMarks + base;
    for (int y = 0; y < kWorldHeight; ++y)
      across[y + 1] = bitAt(packed.live, x - 1, y) + bitAt(packed.live, x, y) + bitAt(packed.live, x + 1, y);
    across[0] = across[kWorldHeight + 1] = 0;
    for (int y = 0; y < kWorldHeight; ++y) {
      const bool isLive = bitAt(packed.live, x, y);
      if (!bitAt(packed.odd, x, y)) cells[y] = isLive;
      if (!bitAt(packed.nextOdd, x, y)) next[y] = bitAt(packed.nextLive, x, y);
      if (!bitAt(packed.heldCounts, x, y)) counts[y] = across[y] + across[y + 1] + across[y + 2] - (int32_t)isLive;
      if (!bitAt(packed.claims, x, y)) marks[y] = 0;
    }
    if (packed.runsFromNext) {
      int32_t* runs = grids.skipRuns + base;
      std::memset(runs, 0, sizeof(int32_t) * kWorldHeight);
      int first = 0;
      while (first < kWorldHeight && next[first] <= 0) ++first;
      runs[0] = first;
    }
  }
  gridsCurrent = true;
}

}  // namespace world_detail
