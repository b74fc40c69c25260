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

#include "world/packed.h"

namespace world_detail {

namespace {

constexpr int kWords = kWorldWidth * kColumnWords;

inline uint64_t* flat(BitColumns& plane) { return &plane[0][0]; }
inline bool hasExceptionAt(int k) { return world_detail::hasException(k / kColumnWords, k % kColumnWords); }

// The vertical sums of one column: for each row, the Live cells among rows
// y - 1, y and y + 1, as two bit planes.
struct ColumnSums {
  uint64_t low[kColumnWords], high[kColumnWords];
  bool any;
};

inline void columnSums(const uint64_t* column, ColumnSums& s) {
  uint64_t any = 0;
  for (int w = 0; w < kColumnWords; ++w) any |= column[w];
  s.any = any != 0;
  if (!s.any) {
    std::memset(s.low, 0, sizeof s.low);
    std::memset(s.high, 0, sizeof s.high);
    return;
  }
  for (int w = 0; w < kColumnWords; ++w) {
    const uint64_t mid = column[w];
    const uint64_t up = (mid << 1) | (w > 0 ? column[w - 1] >> 63 : 0);                  // row y - 1
    const uint64_t down = (mid >> 1) | (w + 1 < kColumnWords ? column[w + 1] << 63 : 0);  // row y + 1
    const uint64_t t = up ^ mid;
    s.low[w] = t ^ down;
    s.high[w] = (up & mid) | (t & down);
  }
}

// The new Live bits of one column from the sums of it and its neighbours:
// with total = the Live cells of the 3 x 3 block (the cell included), a
// cell lives when total is 3, or 4 and it is Live itself.
inline uint16_t ruleColumn(const ColumnSums& a, const ColumnSums& b, const ColumnSums& c, const uint64_t* mid,
                           uint64_t* out) {
  uint16_t changed = 0;
  for (int w = 0; w < kColumnWords; ++w) {
    const uint64_t a0 = a.low[w], b0 = b.low[w], c0 = c.low[w];
    const uint64_t t0 = a0 ^ b0 ^ c0;                   // weight 1
    const uint64_t k0 = (a0 & b0) | (c0 & (a0 ^ b0));   // carry, weight 2
    // total = t0 + 2 * (a.high + b.high + c.high + k0)
    const uint64_t x1 = a.high[w] ^ b.high[w], y1 = a.high[w] & b.high[w];
    const uint64_t x2 = c.high[w] ^ k0, y2 = c.high[w] & k0;
    const uint64_t none2 = ~(y1 | y2);
    const uint64_t one = (x1 ^ x2) & none2;                         // the weight-2 sum is 1
    const uint64_t two = (x1 & x2 & none2) | (~(x1 | x2) & (y1 ^ y2));  // ... is 2
    uint64_t next = (t0 & one) | (~t0 & two & mid[w]);
    if (w == kColumnWords - 1) next &= kLastWordRows;
    out[w] = next;
    changed |= (uint16_t)((next != mid[w]) << w);
  }
  return changed;
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
  const int x = k / kColumnWords, w = k % kColumnWords;
  Patch p{k, packed.odd[x][w] | packed.heldCounts[x][w], 0, 0, packed.live[x + 1][w] | packed.odd[x][w]};
  for (uint64_t bits = p.mask; bits; bits &= bits - 1) {
    const int b = __builtin_ctzll(bits);
    const uint64_t bit = uint64_t(1) << b;
    const int y = 64 * w + b, i = cellIndex(x, y);
    const int32_t state = (packed.odd[x][w] & bit) ? grids.cells[i] : (int32_t)((packed.live[x + 1][w] >> b) & 1);
    const int32_t count = (packed.heldCounts[x][w] & bit) ? grids.neighbourCounts[i] : liveNeighbours(x, y);
    const int32_t previous =
        (packed.nextOdd[x][w] & bit) ? grids.nextCells[i] : (int32_t)((packed.nextLive[x][w] >> b) & 1);
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
      if (hasExceptionAt(k)) patches[patchCount++] = patchWord(k);
  } else {
    for (int n = 0; n < packed.exceptionWords.count; ++n) patches[patchCount++] = patchWord(packed.exceptionWords.words[n]);
  }

  // The sweep: the rule on whole words, column by column.
  static ColumnSums sums[3];
  ColumnSums *left = &sums[0], *mid = &sums[1], *right = &sums[2];
  columnSums(packed.live[0], *left);
  columnSums(packed.live[1], *mid);
  for (int x = 0; x < kWorldWidth; ++x) {
    columnSums(packed.live[x + 2], *right);
    if (left->any | mid->any | right->any) {
      packed.shownChanged[x] |= ruleColumn(*left, *mid, *right, packed.live[x + 1], packed.nextLive[x]);
    } else {
      std::memset(packed.nextLive[x], 0, sizeof packed.nextLive[x]);
    }
    ColumnSums* spare = left;
    left = mid;
    mid = right;
    right = spare;
  }

  // The worked cells go in; held counts are gone; only the new odd states
  // remain exceptions.
  packed.exceptionWords.clear();
  for (int n = 0; n < patchCount; ++n) {
    const Patch& p = patches[n];
    const int x = p.word / kColumnWords, w = p.word % kColumnWords;
    uint64_t& next = packed.nextLive[x][w];
    next = (next & ~p.mask) | p.live;
    packed.odd[x][w] = p.odd;
    packed.nextOdd[x][w] = p.odd;
    packed.heldCounts[x][w] = 0;
    if (p.odd) packed.exceptionWords.add(p.word);
    if ((next | p.odd) != p.shownBefore) packed.shownChanged[x] |= (uint16_t)(1u << w);
  }

  std::memcpy(packed.live[1], packed.nextLive, sizeof packed.nextLive);

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
  std::memset(packed.live[0], 0, sizeof packed.live[0]);
  std::memset(packed.live[kWorldWidth + 1], 0, sizeof packed.live[0]);
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
    for (int w = 0; w < kColumnWords; ++w) {
      uint64_t live = 0, odd = 0, nextLive = 0, nextOdd = 0, held = 0, claims = 0;
      for (int b = 0; b < 64; ++b) {
        const int y = 64 * w + b;
        if (y >= kWorldHeight) break;
        const uint64_t bit = uint64_t(1) << b;
        const bool isLive = cells[y] == Live;
        if (isLive) live |= bit;
        if (cells[y] != Live && cells[y] != Empty) odd |= bit;
        if (next[y] == Live) nextLive |= bit;
        if (next[y] != Live && next[y] != Empty) nextOdd |= bit;
        if (counts[y] != across[y] + across[y + 1] + across[y + 2] - (int32_t)isLive) held |= bit;
        if (marks[y] != 0) claims |= bit;
      }
      packed.live[x + 1][w] = live;
      packed.odd[x][w] = odd;
      packed.nextLive[x][w] = nextLive;
      packed.nextOdd[x][w] = nextOdd;
      packed.heldCounts[x][w] = held;
      packed.claims[x][w] = claims;
    }
  }
  packed.exceptionWords.clear();
  packed.claimWords.clear();
  for (int k = 0; k < kWords; ++k) {
    if (hasExceptionAt(k)) packed.exceptionWords.add(k);
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
    const uint64_t *left = packed.live[x], *mid = packed.live[x + 1], *right = packed.live[x + 2];
    for (int y = 0; y < kWorldHeight; ++y) across[y + 1] = bitAt(left, y) + bitAt(mid, y) + bitAt(right, y);
    across[0] = across[kWorldHeight + 1] = 0;
    for (int y = 0; y < kWorldHeight; ++y) {
      const bool isLive = bitAt(mid, y);
      if (!bitAt(packed.odd[x], y)) cells[y] = isLive;
      if (!bitAt(packed.nextOdd[x], y)) next[y] = bitAt(packed.nextLive[x], y);
      if (!bitAt(packed.heldCounts[x], y)) counts[y] = across[y] + across[y + 1] + across[y + 2] - (int32_t)isLive;
      if (!bitAt(packed.claims[x], y)) marks[y] = 0;
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
