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
// While the frame's ticks run, the Units are kept in buckets of 8 x 8 cells
// by position, so that a contest only looks at the buckets around u. Within
// the ticks positions change only where a Unit walks (its own tick, after
// its contests) and where one is born, and a kin marker only where a
// newborn mutates; the frame loop and the breeding report all three.
// Coordinates beyond the field fall into the outermost buckets: the bucket
// of a coordinate grows with it, so every Unit within reach still lies in
// the buckets of the reach's range.
//
// Each bucket, each column of buckets and the whole index also know a range
// that holds the kin markers of their Units (exact when the index is built,
// widened as Units come in), so that buckets of u's kin alone are passed
// over without looking at their Units.

namespace {

constexpr int kBucketSize = 8;
constexpr int kBucketColumns = (kWorldWidth + kBucketSize - 1) / kBucketSize;
constexpr int kBucketRows = (kWorldHeight + kBucketSize - 1) / kBucketSize;
constexpr int kBucketCount = kBucketColumns * kBucketRows;
static_assert(kBucketRows <= 128, "a bucket column's occupancy is two words");

// Kin markers low..high.
struct KinRange {
  int32_t low, high;
  void widen(int32_t kind) {
    low = std::min(low, kind);
    high = std::max(high, kind);
  }
  // Every marker in the range lies within 20 of kind, as plain 64-bit
  // differences: none of them fights a Unit of that kind.
  bool allKin(int32_t kind) const { return (int64_t)kind - 20 <= low && high <= (int64_t)kind + 20; }
};

struct ContactIndex {
  bool active = false;
  int16_t head[kBucketCount];
  uint64_t occupied[kBucketColumns][2];  // bit by of column bx: bucket (bx, by) is not empty
  KinRange bucketKin[kBucketCount];      // valid while the bucket is not empty
  KinRange columnKin[kBucketColumns];    // every bucket of the column; valid while one is not empty
  KinRange allKin;                       // every Unit in the index; valid while there is one
  int32_t placed;                        // Units in the index
  int16_t next[kMaxUnits], prev[kMaxUnits];
  int16_t bucket[kMaxUnits];  // -1: not in the index
  int32_t kind[kMaxUnits];    // gene 12 when placed
} contactIndex;

inline int bucketCoordinate(int64_t v, int count) {
  if (v < 0) return 0;
  int64_t b = v / kBucketSize;
  return b >= count ? count - 1 : (int)b;
}

inline int bucketOf(int u) {
  return bucketCoordinate(units.posX[u], kBucketColumns) * kBucketRows + bucketCoordinate(units.posY[u], kBucketRows);
}

inline void setOccupied(int b, bool on) {
  uint64_t& word = contactIndex.occupied[b / kBucketRows][(b % kBucketRows) >> 6];
  const uint64_t bit = uint64_t(1) << ((b % kBucketRows) & 63);
  word = on ? word | bit : word & ~bit;
}

void unlink(int u) {
  ContactIndex& c = contactIndex;
  int b = c.bucket[u];
  if (c.prev[u] >= 0) c.next[c.prev[u]] = c.next[u]; else c.head[b] = c.next[u];
  if (c.next[u] >= 0) c.prev[c.next[u]] = c.prev[u];
  c.bucket[u] = -1;
  c.placed -= 1;
  if (c.head[b] < 0) setOccupied(b, false);
}

void link(int u, int b) {
  ContactIndex& c = contactIndex;
  const int32_t kind = units.genome[u][12];
  c.kind[u] = kind;
  if (c.placed++ == 0)
    c.allKin = {kind, kind};
  else
    c.allKin.widen(kind);
  const int bx = b / kBucketRows;
  if ((c.occupied[bx][0] | c.occupied[bx][1]) == 0)
    c.columnKin[bx] = {kind, kind};
  else
    c.columnKin[bx].widen(kind);
  if (c.head[b] < 0) {
    c.bucketKin[b] = {kind, kind};
    setOccupied(b, true);
  } else {
    c.bucketKin[b].widen(kind);
  }
  c.prev[u] = -1;
  c.next[u] = c.head[b];
  if (c.head[b] >= 0) c.prev[c.head[b]] = (int16_t)u;
  c.head[b] = (int16_t)u;
  c.bucket[u] = (int16_t)b;
}

// The slots of foreign Alive Units within reach of u, ascending.
int gatherNear(int u, int16_t* found) {
  const UnitTable& t = units;
  const ContactIndex& c = contactIndex;
  const int64_t px = t.posX[u], py = t.posY[u], reach = t.genome[u][19];
  const int32_t kind = t.genome[u][12];
  if (reach <= 0 || c.placed == 0 || c.allKin.allKin(kind)) return 0;
  const int bx0 = bucketCoordinate(px - (reach - 1), kBucketColumns);
  const int bx1 = bucketCoordinate(px + (reach - 1), kBucketColumns);
  const int by0 = bucketCoordinate(py - (reach - 1), kBucketRows);
  const int by1 = bucketCoordinate(py + (reach - 1), kBucketRows);
  // The rows by0..by1 as a mask over each column's two occupancy words.
  uint64_t rows[2];
  for (int k = 0; k < 2; ++k) {
    const int from = std::max(by0 - 64 * k, 0), to = std::min(by1 - 64 * k, 63);
    rows[k] = from > to ? 0 : (~uint64_t(0) >> (63 - to)) & (~uint64_t(0) << from);
  }
  int n = 0;
  for (int bx = bx0; bx <= bx1; ++bx) {
    if (((c.occupied[bx][0] & rows[0]) | (c.occupied[bx][1] & rows[1])) == 0 || c.columnKin[bx].allKin(kind))
      continue;
    for (int k = 0; k < 2; ++k)
      for (uint64_t bits = c.occupied[bx][k] & rows[k]; bits; bits &= bits - 1) {
        const int b = bx * kBucketRows + 64 * k + __builtin_ctzll(bits);
        if (c.bucketKin[b].allKin(kind)) continue;
        for (int i = c.head[b]; i >= 0; i = c.next[i]) {
          if (i == u || absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
          if (wrapAbs(wrapSub(kind, c.kind[i])) <= 20 || t.status[i] != Alive) continue;
          int m = n++;
          while (m > 0 && found[m - 1] > i) found[m] = found[m - 1], --m;
          found[m] = (int16_t)i;
        }
      }
  }
  return n;
}

}  // namespace

void beginContactIndex() {
  ContactIndex& c = contactIndex;
  std::fill(c.head, c.head + kBucketCount, (int16_t)-1);
  std::memset(c.occupied, 0, sizeof c.occupied);
  c.placed = 0;
  std::fill(c.bucket, c.bucket + kMaxUnits, (int16_t)-1);
  for (int u = kMaxUnits - 1; u >= 0; --u)
    if (units.status[u] == Alive) link(u, bucketOf(u));
  c.active = !usePlainPaths;
}

void endContactIndex() { contactIndex.active = false; }

void placeInContactIndex(int u) {
  ContactIndex& c = contactIndex;
  if (!c.active) return;
  const int b = units.status[u] == Alive ? bucketOf(u) : -1;
  if (b == c.bucket[u] && (b < 0 || units.genome[u][12] == c.kind[u])) return;
  if (c.bucket[u] >= 0) unlink(u);
  if (b >= 0) link(u, b);
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
