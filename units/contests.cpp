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

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define UNIT_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define UNIT_KERNEL
#endif

// Marks the Alive slots within reach of (px, py); returns false, marking
// nothing useful, when some position lies too far out for 32-bit sums (only
// a file can put one there).
//
// With every coordinate within 2^29 of 0, each axis distance is below 2^30
// and their sum fits an unsigned 32-bit number exactly.
UNIT_KERNEL bool markNear(uint8_t* near, int32_t px, int32_t py, uint32_t reach) {
  const UnitTable& t = units;
  uint32_t outside = 0;
  for (int i = 0; i < kMaxUnits; ++i) {
    int32_t x = t.posX[i], y = t.posY[i];
    outside |= ((uint32_t)x + (1u << 29)) | ((uint32_t)y + (1u << 29));
    // Differences in unsigned arithmetic: the slots far out, whose result
    // is not used, must not overflow either.
    uint32_t dx = x > px ? (uint32_t)x - (uint32_t)px : (uint32_t)px - (uint32_t)x;
    uint32_t dy = y > py ? (uint32_t)y - (uint32_t)py : (uint32_t)py - (uint32_t)y;
    near[i] = (uint8_t)((t.status[i] == Alive) & (dx + dy < reach));
  }
  return (outside >> 30) == 0;
}

}  // namespace

// --- The contact index ------------------------------------------------
//
// While the frame's ticks run, the Units are kept in buckets of 16 x 16
// cells by position, so that a contest only looks at the buckets around u.
// Within the ticks positions change only where a Unit walks (its own tick,
// after its contests) and where one is born, and the frame loop reports both.
// Coordinates beyond the field fall into the outermost buckets: the bucket
// of a coordinate grows with it, so every Unit within reach still lies in
// the buckets of the reach's range.

namespace {

constexpr int kBucketSize = 16;
constexpr int kBucketColumns = (kWorldWidth + kBucketSize - 1) / kBucketSize;
constexpr int kBucketRows = (kWorldHeight + kBucketSize - 1) / kBucketSize;
// Reaches that span more buckets than this are met by one pass over all slots.
constexpr int64_t kMaxBucketSpan = 8;

struct ContactIndex {
  bool active = false;
  int16_t head[kBucketColumns * kBucketRows];
  int16_t next[kMaxUnits], prev[kMaxUnits];
  int16_t bucket[kMaxUnits];  // -1: not in the index
} contactIndex;

inline int bucketCoordinate(int64_t v, int count) {
  if (v < 0) return 0;
  int64_t b = v / kBucketSize;
  return b >= count ? count - 1 : (int)b;
}

inline int bucketOf(int u) {
  return bucketCoordinate(units.posX[u], kBucketColumns) * kBucketRows + bucketCoordinate(units.posY[u], kBucketRows);
}

void unlink(int u) {
  ContactIndex& c = contactIndex;
  int b = c.bucket[u];
  if (c.prev[u] >= 0) c.next[c.prev[u]] = c.next[u]; else c.head[b] = c.next[u];
  if (c.next[u] >= 0) c.prev[c.next[u]] = c.prev[u];
  c.bucket[u] = -1;
}

void link(int u, int b) {
  ContactIndex& c = contactIndex;
  c.prev[u] = -1;
  c.next[u] = c.head[b];
  if (c.head[b] >= 0) c.prev[c.head[b]] = (int16_t)u;
  c.head[b] = (int16_t)u;
  c.bucket[u] = (int16_t)b;
}

// The slots of foreign Alive Units within reach of u, ascending; -1 when
// the reach is too wide for the buckets to help.
int gatherNear(int u, int16_t* found) {
  const UnitTable& t = units;
  const int64_t px = t.posX[u], py = t.posY[u], reach = t.genome[u][19];
  if (reach <= 0) return 0;
  const int bx0 = bucketCoordinate(px - (reach - 1), kBucketColumns);
  const int bx1 = bucketCoordinate(px + (reach - 1), kBucketColumns);
  const int by0 = bucketCoordinate(py - (reach - 1), kBucketRows);
  const int by1 = bucketCoordinate(py + (reach - 1), kBucketRows);
  if (bx1 - bx0 >= kMaxBucketSpan || by1 - by0 >= kMaxBucketSpan) return -1;
  const int32_t kind = t.genome[u][12];
  int n = 0;
  for (int bx = bx0; bx <= bx1; ++bx)
    for (int by = by0; by <= by1; ++by)
      for (int i = contactIndex.head[bx * kBucketRows + by]; i >= 0; i = contactIndex.next[i]) {
        if (i == u || t.status[i] != Alive) continue;
        if (absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
        if (wrapAbs(wrapSub(kind, t.genome[i][12])) <= 20) continue;
        int k = n++;
        while (k > 0 && found[k - 1] > i) found[k] = found[k - 1], --k;
        found[k] = (int16_t)i;
      }
  return n;
}

}  // namespace

void beginContactIndex() {
  ContactIndex& c = contactIndex;
  std::fill(c.head, c.head + kBucketColumns * kBucketRows, (int16_t)-1);
  std::fill(c.bucket, c.bucket + kMaxUnits, (int16_t)-1);
  for (int u = kMaxUnits - 1; u >= 0; --u)
    if (units.status[u] == Alive) link(u, bucketOf(u));
  c.active = !usePlainPaths;
}

void endContactIndex() { contactIndex.active = false; }

void placeInContactIndex(int u) {
  ContactIndex& c = contactIndex;
  if (!c.active) return;
  int b = units.status[u] == Alive ? bucketOf(u) : -1;
  if (b == c.bucket[u]) return;
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
  if (usePlainPaths) return resolveContactsPlain(u);
  if (contactIndex.active) {
    static int16_t found[kMaxUnits];
    int n = gatherNear(u, found);
    if (n >= 0) {
      for (int k = 0; k < n; ++k) fight(u, found[k]);
      return;
    }
  }
  const UnitTable& t = units;
  const int32_t kind = t.genome[u][12];
  const int32_t px = t.posX[u], py = t.posY[u], reach = t.genome[u][19];
  if (reach <= 0) return;  // nobody is closer than that
  if (((uint32_t)px + (1u << 29)) >> 30 || ((uint32_t)py + (1u << 29)) >> 30) return resolveContactsPlain(u);
  alignas(8) static uint8_t near[kMaxUnits + 8];
  if (!markNear(near, px, py, (uint32_t)reach)) return resolveContactsPlain(u);
  for (int base = 0; base < kMaxUnits; base += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, near + base, 8);
    if (chunk == 0) continue;
    for (int i = base; i < base + 8 && i < kMaxUnits; ++i) {
      if (!near[i] || i == u) continue;
      if (wrapAbs(wrapSub(kind, t.genome[i][12])) <= 20) continue;
      fight(u, i);
    }
  }
}
