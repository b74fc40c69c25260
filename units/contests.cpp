#include <algorithm>
#include <cmath>
#include <cstring>

#include "genome/arith.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {
struct SeedCell { int gene, threshold, dx, dy; };
constexpr SeedCell kSeedPattern[12] = {
    {20, 12, -1, -1}, {21, 12, 0, -1}, {22, 12, 1, -1}, {23, 12, 1, 0},
    {24, 12, 1, 1},   {25, 12, 0, 1},  {26, 12, -1, 1}, {27, 12, -1, 0},
    {28, 5, 0, -2},   {29, 5, 0, 2},   {30, 5, -2, 0},  {31, 5, 2, 0},
};
}  // namespace

int sowPattern(int32_t x, int32_t y, int u) {
  if (x <= 2 || x >= 823 || y <= 2 || y >= 523) return 0;
  if (units.status[u] == Free) return 0;
  const Genome& g = units.genome[u];
  int n = 0;
  for (const SeedCell& s : kSeedPattern) {
    if (g[s.gene] <= s.threshold) continue;
    if (neighbourCount(x + s.dx, y + s.dy) != 3) {
      setNeighbourCount(x + s.dx, y + s.dy, 3);
      ++n;
    }
  }
  return n;
}

namespace {

// One contest of u with i: the richer one wins and takes the loser's
// energy; ties go to u.
inline void fight(int u, int i) {
  UnitTable& t = units;
  if (t.energy[u] < t.energy[i]) {
    markDead(u, DeathCause::Contest);
    t.stock[i] = truncToInt((double)t.stock[i] + (double)t.energy[u]);
    t.energy[i] = t.energy[i] + t.energy[u];
  } else {
    markDead(i, DeathCause::Contest);
    t.stock[u] = truncToInt((double)t.stock[u] + (double)t.energy[i]);
    t.energy[u] = t.energy[u] + t.energy[i];
  }
}

void resolveContactsPlain(int u) {
  UnitTable& t = units;
  const int64_t reach = t.genome[u][19];
  const int32_t kind = t.genome[u][12];
  for (int i = 0; i < kMaxUnits; ++i) {
    if (i == u || t.status[i] != Alive) continue;
    if (absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
    if (wrapAbs(wrapSub(kind, t.genome[i][12])) <= 20) continue;
    fight(u, i);
  }
}

}  // namespace

// --- The contact index ------------------------------------------------
//
// Contests find their opponents through an index of the Alive Units by
// position, in buckets of 16 x 16 cells, so that a contest only looks at the
// buckets around u. The index lives from frame to frame: the first contest
// of a frame that is not settled by the kin markers alone brings every
// slot's entry up to date (a Unit that moved, was born, changed its kin
// marker or died since), and from then on the frame loop and the breeding
// report each Unit that walked, was born or mutated. Coordinates beyond the
// field fall into the outermost buckets: the bucket of a coordinate grows
// with it, so every Unit within reach still lies in the buckets of the
// reach's range.
//
// Each bucket, and each block of 4 x 4 buckets, knows the exact range of its
// Units' kin markers, and the index a range that holds those of all Alive
// Units (taken at the start of the frame's ticks, widened as Units are
// born), so that buckets and blocks of u's kin alone, or a world of one kin,
// are passed over without looking at their Units.

namespace {

constexpr int kBucketSize = 16;
constexpr int kBucketColumns = (kWorldWidth + kBucketSize - 1) / kBucketSize;
constexpr int kBucketRows = (kWorldHeight + kBucketSize - 1) / kBucketSize;
constexpr int kBucketCount = kBucketColumns * kBucketRows;
static_assert(kBucketRows <= 64, "a bucket column's occupancy is one word");
// Blocks of 4 x 4 buckets, for the wide reaches.
constexpr int kBlockSide = 4;
constexpr int kBlockColumns = (kBucketColumns + kBlockSide - 1) / kBlockSide;
constexpr int kBlockRows = (kBucketRows + kBlockSide - 1) / kBlockSide;

// The kin markers of a group of Units: their range low..high (low > high
// when there are none) and how many of them hold each end.
struct KinTally {
  int32_t low, high, atLow, atHigh;
  static KinTally none() { return {INT32_MAX, INT32_MIN, 0, 0}; }
  void add(int32_t kind) {
    if (kind < low) low = kind, atLow = 0;
    if (kind > high) high = kind, atHigh = 0;
    atLow += kind == low;
    atHigh += kind == high;
  }
  // False when the marker held an end alone: the tally must be taken again.
  bool remove(int32_t kind) {
    const bool lowGone = kind == low && --atLow == 0;
    const bool highGone = kind == high && --atHigh == 0;
    return !lowGone && !highGone;
  }
  void merge(const KinTally& other) {
    if (other.low < low) low = other.low, atLow = 0;
    if (other.high > high) high = other.high, atHigh = 0;
    if (other.low == low) atLow += other.atLow;
    if (other.high == high) atHigh += other.atHigh;
  }
  // Every marker lies within 20 of kind, as plain 64-bit differences: none
  // of them fights a Unit of that kind (true for an empty group).
  bool allKin(int32_t kind) const { return (int64_t)kind - 20 <= low && high <= (int64_t)kind + 20; }
};

// A tally's range as the queries read it: 16-bit ends, so that the spans of
// every bucket stay in the nearest cache. A range beyond 16 bits is never
// all of one kin; an empty one is (for every marker of 16 bits).
struct KinSpan {
  int16_t low, high;
  static KinSpan of(const KinTally& t) {
    if (t.low > t.high) return {INT16_MAX, INT16_MIN};
    if (t.low < INT16_MIN || t.high > INT16_MAX) return {INT16_MIN, INT16_MAX};
    return {(int16_t)t.low, (int16_t)t.high};
  }
  bool allKin(int32_t kind) const { return (int64_t)kind - 20 <= low && high <= (int64_t)kind + 20; }
};

struct ContactIndex {
  bool active = false;   // the frame's ticks are running: queries use the index
  bool current = false;  // (while active) every slot's entry is up to date
  bool built = false;
  int16_t head[kBucketCount];
  uint64_t occupied[kBucketColumns];  // bit by of column bx: bucket (bx, by) is not empty
  KinTally bucketKin[kBucketCount];
  KinTally blockKin[kBlockColumns][kBlockRows];
  KinSpan bucketSpan[kBucketCount];  // of bucketKin and blockKin
  KinSpan blockSpan[kBlockColumns][kBlockRows];
  KinTally allKin;  // every Alive Unit since the frame's start, at least
  int16_t next[kMaxUnits], prev[kMaxUnits];
  int16_t bucket[kMaxUnits];  // -1: not in the index
  int32_t kind[kMaxUnits];    // gene 12 when placed
  int32_t placedX[kMaxUnits], placedY[kMaxUnits];  // the position when placed
  int32_t kindNow[kMaxUnits];  // (while active) gene 12 of each Alive Unit
} contactIndex;

inline int bucketCoordinate(int64_t v, int count) {
  if (v < 0) return 0;
  int64_t b = v / kBucketSize;
  return b >= count ? count - 1 : (int)b;
}

inline int bucketOf(int u) {
  return bucketCoordinate(units.posX[u], kBucketColumns) * kBucketRows + bucketCoordinate(units.posY[u], kBucketRows);
}

inline int blockColumn(int b) { return b / kBucketRows / kBlockSide; }
inline int blockRow(int b) { return b % kBucketRows / kBlockSide; }

inline void updateSpans(int b) {
  ContactIndex& c = contactIndex;
  c.bucketSpan[b] = KinSpan::of(c.bucketKin[b]);
  c.blockSpan[blockColumn(b)][blockRow(b)] = KinSpan::of(c.blockKin[blockColumn(b)][blockRow(b)]);
}

void unlink(int u) {
  ContactIndex& c = contactIndex;
  const int b = c.bucket[u];
  if (c.prev[u] >= 0) c.next[c.prev[u]] = c.next[u]; else c.head[b] = c.next[u];
  if (c.next[u] >= 0) c.prev[c.next[u]] = c.prev[u];
  c.bucket[u] = -1;
  if (c.head[b] < 0) {
    c.occupied[b / kBucketRows] &= ~(uint64_t(1) << (b % kBucketRows));
    c.bucketKin[b] = KinTally::none();
  } else if (!c.bucketKin[b].remove(c.kind[u])) {
    c.bucketKin[b] = KinTally::none();
    for (int i = c.head[b]; i >= 0; i = c.next[i]) c.bucketKin[b].add(c.kind[i]);
  }
  KinTally& block = c.blockKin[blockColumn(b)][blockRow(b)];
  if (!block.remove(c.kind[u])) {
    // Taken again from the block's buckets, whose tallies are exact.
    const int bx0 = b / kBucketRows / kBlockSide * kBlockSide, by0 = b % kBucketRows / kBlockSide * kBlockSide;
    block = KinTally::none();
    for (int bx = bx0; bx < std::min(bx0 + kBlockSide, kBucketColumns); ++bx)
      for (int by = by0; by < std::min(by0 + kBlockSide, kBucketRows); ++by) block.merge(c.bucketKin[bx * kBucketRows + by]);
  }
  updateSpans(b);
}

void link(int u, int b, int32_t kind) {
  ContactIndex& c = contactIndex;
  c.kind[u] = kind;
  c.bucketKin[b].add(kind);
  c.blockKin[blockColumn(b)][blockRow(b)].add(kind);
  updateSpans(b);
  c.allKin.add(kind);
  if (c.head[b] < 0) c.occupied[b / kBucketRows] |= uint64_t(1) << (b % kBucketRows);
  c.prev[u] = -1;
  c.next[u] = c.head[b];
  if (c.head[b] >= 0) c.prev[c.head[b]] = (int16_t)u;
  c.head[b] = (int16_t)u;
  c.bucket[u] = (int16_t)b;
}

// Brings slot u's entry up to date.
inline void place(int u) {
  ContactIndex& c = contactIndex;
  if (units.status[u] != Alive) {
    if (c.bucket[u] >= 0) unlink(u);
    return;
  }
  c.placedX[u] = units.posX[u];
  c.placedY[u] = units.posY[u];
  const int b = bucketOf(u);
  const int32_t kind = c.kindNow[u];
  if (b == c.bucket[u] && kind == c.kind[u]) return;
  if (c.bucket[u] >= 0) unlink(u);
  link(u, b, kind);
}

// Every slot's entry brought up to date, once in a frame: when the first
// contest of the frame needs the buckets.
void bringUpToDate() {
  ContactIndex& c = contactIndex;
  if (!c.built) {
    std::fill(c.head, c.head + kBucketCount, (int16_t)-1);
    std::memset(c.occupied, 0, sizeof c.occupied);
    std::fill(c.bucket, c.bucket + kMaxUnits, (int16_t)-1);
    std::fill(c.bucketKin, c.bucketKin + kBucketCount, KinTally::none());
    std::fill(&c.blockKin[0][0], &c.blockKin[0][0] + kBlockColumns * kBlockRows, KinTally::none());
    std::fill(c.bucketSpan, c.bucketSpan + kBucketCount, KinSpan::of(KinTally::none()));
    std::fill(&c.blockSpan[0][0], &c.blockSpan[0][0] + kBlockColumns * kBlockRows, KinSpan::of(KinTally::none()));
    c.built = true;
  }
  // Only the entries whose slot changed since it was placed: a pass over
  // small tables first.
  static uint8_t stale[kMaxUnits];
  const UnitTable& t = units;
  for (int u = 0; u < kMaxUnits; ++u)
    stale[u] = ((t.status[u] == Alive) != (c.bucket[u] >= 0)) |
               ((c.bucket[u] >= 0) & ((t.posX[u] != c.placedX[u]) | (t.posY[u] != c.placedY[u]) | (c.kindNow[u] != c.kind[u])));
  for (int u = 0; u < kMaxUnits; ++u)
    if (stale[u]) place(u);
  c.current = true;
}

// The slots of foreign Alive Units within reach of u, ascending.
int gatherNear(int u, int16_t* found) {
  const UnitTable& t = units;
  ContactIndex& c = contactIndex;
  const int64_t px = t.posX[u], py = t.posY[u], reach = t.genome[u][19];
  const int32_t kind = t.genome[u][12];
  if (reach <= 0 || c.allKin.allKin(kind)) return 0;
  if (!c.current) bringUpToDate();
  const int bx0 = bucketCoordinate(px - (reach - 1), kBucketColumns);
  const int bx1 = bucketCoordinate(px + (reach - 1), kBucketColumns);
  const int by0 = bucketCoordinate(py - (reach - 1), kBucketRows);
  const int by1 = bucketCoordinate(py + (reach - 1), kBucketRows);
  if (bx1 - bx0 <= 1 && by1 - by0 <= 1) {
    // The common case, two buckets or fewer each way: all of u's kin or
    // empty, in one test.
    const KinSpan* k0 = c.bucketSpan + bx0 * kBucketRows;
    const KinSpan* k1 = c.bucketSpan + bx1 * kBucketRows;
    const int allKin = (int)k0[by0].allKin(kind) & (int)k0[by1].allKin(kind) & (int)k1[by0].allKin(kind) &
                       (int)k1[by1].allKin(kind);  // without branches between the four
    if (allKin) return 0;
  }
  int n = 0;
  // The occupied buckets of columns from..to and rows by0..by1 that hold
  // Units of another kin, and in them the Units within reach.
  auto meet = [&](int from, int to, uint64_t rows) {
    for (int bx = from; bx <= to; ++bx)
      for (uint64_t bits = c.occupied[bx] & rows; bits; bits &= bits - 1) {
        const int b = bx * kBucketRows + __builtin_ctzll(bits);
        if (c.bucketSpan[b].allKin(kind)) continue;
        for (int i = c.head[b]; i >= 0; i = c.next[i]) {
          if (i == u || absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
          if (wrapAbs(wrapSub(kind, c.kind[i])) <= 20 || t.status[i] != Alive) continue;
          int m = n++;
          while (m > 0 && found[m - 1] > i) found[m] = found[m - 1], --m;
          found[m] = (int16_t)i;
        }
      }
  };
  auto rowMask = [](int from, int to) { return (~uint64_t(0) >> (63 - to)) & (~uint64_t(0) << from); };
  if (bx1 - bx0 < kBlockSide && by1 - by0 < kBlockSide) {
    // At most two blocks each way: all of u's kin or empty, in one test.
    const int gx0 = bx0 / kBlockSide, gx1 = bx1 / kBlockSide, gy0 = by0 / kBlockSide, gy1 = by1 / kBlockSide;
    const int allKin = (int)c.blockSpan[gx0][gy0].allKin(kind) & (int)c.blockSpan[gx0][gy1].allKin(kind) &
                       (int)c.blockSpan[gx1][gy0].allKin(kind) & (int)c.blockSpan[gx1][gy1].allKin(kind);
    if (!allKin) meet(bx0, bx1, rowMask(by0, by1));
  } else {
    // Wide reaches: whole blocks of u's kin are passed over.
    for (int gx = bx0 / kBlockSide; gx <= bx1 / kBlockSide; ++gx)
      for (int gy = by0 / kBlockSide; gy <= by1 / kBlockSide; ++gy) {
        if (c.blockSpan[gx][gy].allKin(kind)) continue;
        meet(std::max(bx0, gx * kBlockSide), std::min(bx1, gx * kBlockSide + kBlockSide - 1),
             rowMask(std::max(by0, gy * kBlockSide), std::min(by1, gy * kBlockSide + kBlockSide - 1)));
      }
  }
  return n;
}

}  // namespace

void beginContactIndex() {
  ContactIndex& c = contactIndex;
  c.active = !usePlainPaths;
  c.current = false;
  if (!c.active) return;
  // The kin markers alone: while every contest finds only kin, the buckets
  // are not needed.
  c.allKin = KinTally::none();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) c.allKin.add(c.kindNow[u] = units.genome[u][12]);
}

void endContactIndex() { contactIndex.active = false; }

void placeInContactIndex(int u) {
  ContactIndex& c = contactIndex;
  if (!c.active || units.status[u] != Alive) {
    if (c.active && c.current) place(u);
    return;
  }
  c.kindNow[u] = units.genome[u][12];  // a newborn's marker may be new
  c.allKin.add(c.kindNow[u]);
  if (c.current) place(u);
}

// u fights every foreign Alive Unit within its reach, in slot order. u fights
// on even after it has lost.
//
// Who is in reach and Alive is known before the first contest: a contest
// changes only the status of u (which is never its own opponent) and of the
// opponent it is fighting, so the Units still to come keep theirs. The
// candidates are found first and then met in slot order.
void resolveContacts(int u) {
  if (usePlainPaths || !contactIndex.active) return resolveContactsPlain(u);
  static int16_t found[kMaxUnits];
  const int n = gatherNear(u, found);
  for (int k = 0; k < n; ++k) fight(u, found[k]);
}
