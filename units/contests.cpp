#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "genome/arith.h"
#include "units/params.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {
struct SeedCell { int gene, threshold, dx, dy; };
constexpr SeedCell kSeedPattern[12] = {
    {kGeneSeedFirst + 0, 12, -1, -1}, {kGeneSeedFirst + 1, 12, 0, -1}, {kGeneSeedFirst + 2, 12, 1, -1},
    {kGeneSeedFirst + 3, 12, 1, 0}, {kGeneSeedFirst + 4, 12, 1, 1}, {kGeneSeedFirst + 5, 12, 0, 1},
    {kGeneSeedFirst + 6, 12, -1, 1}, {kGeneSeedFirst + 7, 12, -1, 0}, {kGeneSeedFirst + 8, 5, 0, -2},
    {kGeneSeedFirst + 9, 5, 0, 2}, {kGeneSeedFirst + 10, 5, -2, 0}, {kGeneSeedFirst + 11, 5, 2, 0},
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

__attribute__((noinline)) void resolveContactsPlain(int u) {
  UnitTable& t = units;
  const int64_t reach = t.genome[u][kGeneContactRange];
  const int32_t kind = t.genome[u][kGeneKin], tolerance = rules.kinTolerance;
  for (int i = 0; i < kMaxUnits; ++i) {
    if (i == u || t.status[i] != Alive) continue;
    if (absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
    if (wrapAbs(wrapSub(kind, t.genome[i][kGeneKin])) <= tolerance) continue;
    fight(u, i);
  }
}

}  // namespace

// --- The contact index ------------------------------------------------
//
// Contests find their opponents through an index of the Alive Units by
// position, in buckets of 16 x 16 cells, so that a contest only looks at the
// buckets around u. Each bucket knows the exact range of its Units' kin
// markers and the index a range that holds every Unit's, so that buckets of
// u's kin alone, or a world of one kin, are passed over without looking at
// their Units: most contests are settled by reading the ranges of up to
// three columns of up to four buckets around u.
//
// The index lives from frame to frame and is kept current by the
// simulation itself: a Unit that is born or placed (spawnUnit), walks into
// another bucket (the tick) or is mutated at birth (the breeding) is put
// in the bucket of its position with its kin marker, and one that dies
// (markDead) leaves. Whatever changes the table by other means calls
// unitTableChanged(), and the index is built again at the start of the next
// frame's ticks.
//
// Coordinates beyond the field fall into the outermost buckets: the bucket
// of a coordinate grows with it, so every Unit within reach still lies in
// the buckets of the reach's range. Around the field's buckets lies a border
// of empty ones, so that the common case reads the buckets of a reach that
// crosses the field's edge without cutting its range first.

namespace {

constexpr int kBucketShift = kContactBucketShift;  // buckets of 16 x 16 cells
constexpr int kBucketColumns = (kWorldWidth + 15) >> kBucketShift;
constexpr int kBucketRows = (kWorldHeight + 15) >> kBucketShift;
constexpr int kLanes = 4;  // four buckets of a column are read at once
// Buckets are stored column after column, in a border of empty ones: columns
// -kBorder .. kBucketColumns - 1 + kBorder, rows -kBorder ..
// kBucketRows - 1 + kBorder and the lanes of a second read below them.
constexpr int kBorder = 4;
// The widest reach the common case of resolveContacts takes: its buckets lie
// within the border.
constexpr int32_t kCommonReach = 56;
constexpr int kStride = kBucketRows + 2 * kBorder + 2 * kLanes;
constexpr int kSlots = (kBucketColumns + 2 * kBorder) * kStride;
inline int bucketIndex(int bx, int by) { return (bx + kBorder) * kStride + by + kBorder; }
static_assert(((kWorldWidth - 1 + kCommonReach - 1) >> kBucketShift) < kBucketColumns + kBorder &&
                  ((kCommonReach - 1) >> kBucketShift) < kBorder && (2 * kCommonReach + 14) >> kBucketShift <= 2 * kLanes,
              "the common case stays within the border");

// (Static, so it starts all zero: not built, not active.)
struct ContactIndex {
  bool built;   // the entries hold the table
  bool active;  // the frame's ticks are running: contests use the index
  int16_t head[kSlots];
  int32_t kinLow[kSlots], kinHigh[kSlots];  // low > high: empty
  int16_t atLow[kSlots], atHigh[kSlots];     // how many Units hold each end
  // The ranges as the common case reads them: -low and high, cut to 16 bits
  // (a range beyond them fails every window that the common case takes).
  int16_t kinPair[2 * kSlots];
  int32_t allLow, allHigh;  // every linked Unit's marker lies in allLow..allHigh
  // The kin tolerance of the frame's contests, and the common case's limits
  // that follow from it (see resolveContacts), set as the ticks begin.
  int32_t tolerance;
  uint32_t commonReach, commonKind;
  // Slots.
  int32_t bucket[kMaxUnits];  // -1: not in the index
  int32_t kind[kMaxUnits];    // the kin marker it was placed with
  int16_t next[kMaxUnits], prev[kMaxUnits];
} contactIndex;

inline int bucketColumn(int64_t x) { return (int)std::clamp<int64_t>(x >> kBucketShift, 0, kBucketColumns - 1); }
inline int bucketRow(int64_t y) { return (int)std::clamp<int64_t>(y >> kBucketShift, 0, kBucketRows - 1); }
inline int bucketAt(int32_t x, int32_t y) { return bucketIndex(bucketColumn(x), bucketRow(y)); }

inline int16_t cut16(int64_t v) { return (int16_t)std::clamp<int64_t>(v, INT16_MIN, INT16_MAX); }

inline void setRange(int b, int32_t low, int32_t high) {
  ContactIndex& c = contactIndex;
  c.kinLow[b] = low, c.kinHigh[b] = high;
  c.kinPair[2 * b] = cut16(-(int64_t)low), c.kinPair[2 * b + 1] = cut16(high);
}

void unlink(int u) {
  ContactIndex& c = contactIndex;
  const int b = c.bucket[u];
  if (c.prev[u] >= 0) c.next[c.prev[u]] = c.next[u]; else c.head[b] = c.next[u];
  if (c.next[u] >= 0) c.prev[c.next[u]] = c.prev[u];
  c.bucket[u] = -1;
  const bool lowGone = c.kind[u] == c.kinLow[b] && --c.atLow[b] == 0;
  const bool highGone = c.kind[u] == c.kinHigh[b] && --c.atHigh[b] == 0;
  if (lowGone || highGone) {
    // An end of the range went: take the range again.
    int32_t low = INT32_MAX, high = INT32_MIN;
    int16_t atLow = 0, atHigh = 0;
    for (int i = c.head[b]; i >= 0; i = c.next[i]) {
      const int32_t kind = c.kind[i];
      if (kind < low) low = kind, atLow = 0;
      if (kind > high) high = kind, atHigh = 0;
      atLow += kind == low;
      atHigh += kind == high;
    }
    setRange(b, low, high);
    c.atLow[b] = atLow, c.atHigh[b] = atHigh;
  }
}

void link(int u, int b, int32_t kind) {
  ContactIndex& c = contactIndex;
  c.kind[u] = kind;
  if (kind < c.kinLow[b]) setRange(b, kind, c.kinHigh[b]), c.atLow[b] = 0;
  if (kind > c.kinHigh[b]) setRange(b, c.kinLow[b], kind), c.atHigh[b] = 0;
  c.atLow[b] += kind == c.kinLow[b];
  c.atHigh[b] += kind == c.kinHigh[b];
  c.allLow = std::min(c.allLow, kind), c.allHigh = std::max(c.allHigh, kind);
  c.prev[u] = -1;
  c.next[u] = c.head[b];
  if (c.head[b] >= 0) c.prev[c.head[b]] = (int16_t)u;
  c.head[b] = (int16_t)u;
  c.bucket[u] = b;
}

void build() {
  ContactIndex& c = contactIndex;
  std::fill(c.head, c.head + kSlots, (int16_t)-1);
  for (int b = 0; b < kSlots; ++b) setRange(b, INT32_MAX, INT32_MIN);
  std::fill(c.atLow, c.atLow + kSlots, (int16_t)0);
  std::fill(c.atHigh, c.atHigh + kSlots, (int16_t)0);
  c.allLow = INT32_MAX, c.allHigh = INT32_MIN;
  for (int u = 0; u < kMaxUnits; ++u) {
    c.bucket[u] = -1;
    if (units.status[u] == Alive) link(u, bucketAt(units.posX[u], units.posY[u]), units.genome[u][kGeneKin]);
  }
  c.built = true;
}

// The kin markers that never fight u: kind - tolerance .. kind + tolerance
// as plain numbers, cut to 32 bits (as every marker is).
struct KinWindow {
  int32_t lowest, highest;
  explicit KinWindow(int32_t kind)
      : lowest((int32_t)std::max<int64_t>((int64_t)kind - contactIndex.tolerance, INT32_MIN)),
        highest((int32_t)std::min<int64_t>((int64_t)kind + contactIndex.tolerance, INT32_MAX)) {}
  bool holds(int32_t low, int32_t high) const { return lowest <= low && high <= highest; }
};

// Bit k set when bucket b + k (k < 4, the next rows of a column) holds a
// marker outside the window.
inline unsigned foreignRows(int b, const KinWindow& w) {
  const ContactIndex& c = contactIndex;
#ifdef __SSE2__
  const __m128i low = _mm_loadu_si128((const __m128i*)(c.kinLow + b));
  const __m128i high = _mm_loadu_si128((const __m128i*)(c.kinHigh + b));
  const __m128i outside = _mm_or_si128(_mm_cmpgt_epi32(_mm_set1_epi32(w.lowest), low),
                                       _mm_cmpgt_epi32(high, _mm_set1_epi32(w.highest)));
  return (unsigned)_mm_movemask_ps(_mm_castsi128_ps(outside));
#else
  unsigned bits = 0;
  for (int k = 0; k < kLanes; ++k) bits |= (unsigned)!w.holds(c.kinLow[b + k], c.kinHigh[b + k]) << k;
  return bits;
#endif
}

// The foreign Alive Units of bucket (bx, by) of the field within u's reach,
// added to found[0..n) in ascending order.
struct Gathering {
  int u;
  int64_t px, py, reach;
  int32_t kind, tolerance;
  int16_t* found;
  int n;

  explicit Gathering(int u) : u(u), px(units.posX[u]), py(units.posY[u]), reach(units.genome[u][kGeneContactRange]),
                              kind(units.genome[u][kGeneKin]), tolerance(contactIndex.tolerance), n(0) {
    static int16_t slots[kMaxUnits];
    found = slots;
  }
  // How far p lies from the cells of bucket k of last + 1: the outermost
  // reach on beyond the field.
  static int64_t gap(int64_t p, int k, int last) {
    const int64_t from = k <= 0 ? INT64_MIN : (int64_t)k << kBucketShift;
    const int64_t to = k >= last ? INT64_MAX : ((int64_t)(k + 1) << kBucketShift) - 1;
    return p < from ? from - p : p > to ? p - to : 0;
  }
  void bucket(int bx, int by) {
    if (gap(px, bx, kBucketColumns - 1) + gap(py, by, kBucketRows - 1) >= reach) return;  // no cell within reach
    const ContactIndex& c = contactIndex;
    const UnitTable& t = units;
    for (int i = c.head[bucketIndex(bx, by)]; i >= 0; i = c.next[i]) {
      if (wrapAbs(wrapSub(kind, c.kind[i])) <= tolerance || i == u || t.status[i] != Alive) continue;
      if (absDiff64(px, t.posX[i]) + absDiff64(py, t.posY[i]) >= reach) continue;
      int m = n++;
      while (m > 0 && found[m - 1] > i) found[m] = found[m - 1], --m;
      found[m] = (int16_t)i;
    }
  }
  // Who is in reach and Alive is known before the first contest: a contest
  // changes only the status of u (which is never its own opponent) and of
  // the opponent it is fighting, so the Units still to come keep theirs.
  void fightAll() {
    for (int k = 0; k < n; ++k) fight(u, found[k]);
  }
};

// The contests of u with the Units of the buckets bx0..bx1 x by0..by1 (in
// the field's buckets) that hold markers outside u's window, in slot order.
__attribute__((noinline)) void meetAround(int u, int bx0, int bx1, int by0, int by1) {
  const KinWindow window(units.genome[u][kGeneKin]);
  Gathering g(u);
  for (int bx = bx0; bx <= bx1; ++bx)
    for (int by = by0; by <= by1; by += kLanes)
      for (unsigned rows = foreignRows(bucketIndex(bx, by), window) & ((2u << std::min(by1 - by, kLanes - 1)) - 1);
           rows; rows &= rows - 1)
        g.bucket(bx, by + __builtin_ctz(rows));
  g.fightAll();
}

// The contests of u with the Units of the buckets that the common case
// marked: columns x0 .. x0 + columns - 1, four bits a row from y0 on.
__attribute__((noinline)) void meetMarked(int u, int x0, int y0, const uint32_t* marks, int columns) {
  Gathering g(u);
  for (int k = 0; k < columns; ++k)
    for (uint32_t rows = marks[k]; rows;) {
      const int row = __builtin_ctz(rows) >> 2;
      rows &= ~(0xfu << 4 * row);
      g.bucket(x0 + k, y0 + row);
    }
  g.fightAll();
}

#ifdef TARN_CHECKED
// Every Alive Unit in the bucket of its position, with its marker, within
// exact ranges, and no other Unit in the index: what a change of the table
// that did not call unitTableChanged() breaks.
void checkIndex() {
  const ContactIndex& c = contactIndex;
  auto fail = [](const char* what, int where) {
    std::fprintf(stderr, "contact index: %s %d (was the unit table changed without unitTableChanged()?)\n", what,
                 where);
    std::abort();
  };
  for (int u = 0; u < kMaxUnits; ++u) {
    const bool alive = units.status[u] == Alive;
    if (c.bucket[u] != (alive ? bucketAt(units.posX[u], units.posY[u]) : -1)) fail("not in its bucket: slot", u);
    if (alive && c.kind[u] != units.genome[u][kGeneKin]) fail("not with its kin marker: slot", u);
  }
  for (int b = 0; b < kSlots; ++b) {
    int32_t low = INT32_MAX, high = INT32_MIN;
    for (int i = c.head[b]; i >= 0; i = c.next[i]) {
      if (c.bucket[i] != b) fail("a stranger in bucket", b);
      low = std::min(low, c.kind[i]), high = std::max(high, c.kind[i]);
    }
    int atLow = 0, atHigh = 0;
    for (int i = c.head[b]; i >= 0; i = c.next[i]) atLow += c.kind[i] == low, atHigh += c.kind[i] == high;
    if (low != c.kinLow[b] || high != c.kinHigh[b] || (low <= high && (low < c.allLow || high > c.allHigh)) ||
        (low <= high && (atLow != c.atLow[b] || atHigh != c.atHigh[b])))
      fail("wrong kin range in bucket", b);
  }
}
#endif

}  // namespace

void unitTableChanged() { contactIndex.built = false; }

void beginContactIndex() {
  ContactIndex& c = contactIndex;
  c.active = !usePlainPaths;
  if (!c.active) return;
  // The common case reads kin windows of 16 bits: it takes markers up to
  // kCommonWindow - tolerance from 0, and no Unit at all when the tolerance
  // leaves no such marker (a reach limit of 0 sends every contest the wide way).
  constexpr int32_t kCommonWindow = INT16_MAX - 1;
  c.tolerance = rules.kinTolerance;
  c.commonReach = c.tolerance <= kCommonWindow ? kCommonReach : 0;
  c.commonKind = c.tolerance <= kCommonWindow ? (uint32_t)(kCommonWindow - c.tolerance) : 0;
  if (!c.built) build();
#ifdef TARN_CHECKED
  checkIndex();
#endif
}

void endContactIndex() { contactIndex.active = false; }

void placeInContactIndex(int u) {
  ContactIndex& c = contactIndex;
  if (!c.built || units.status[u] != Alive) return;
  const int b = bucketAt(units.posX[u], units.posY[u]);
  const int32_t kind = units.genome[u][kGeneKin];
  if (b == c.bucket[u] && kind == c.kind[u]) return;
  if (c.bucket[u] >= 0) unlink(u);
  link(u, b, kind);
}

void removeFromContactIndex(int u) {
  if (contactIndex.built && contactIndex.bucket[u] >= 0) unlink(u);
}

namespace {

// The contests of reaches that the common case does not take: none for a
// reach of 0 or less, then the kin of the whole index, then every bucket
// within the reach's range.
__attribute__((noinline)) void resolveContactsWide(int u) {
  const ContactIndex& c = contactIndex;
  const UnitTable& t = units;
  const int64_t reach = t.genome[u][kGeneContactRange];
  if (reach <= 0) return;
  const KinWindow window(t.genome[u][kGeneKin]);
  if (window.holds(c.allLow, c.allHigh)) return;
  const int64_t px = t.posX[u], py = t.posY[u], r = reach - 1;
  meetAround(u, bucketColumn(px - r), bucketColumn(px + r), bucketRow(py - r), bucketRow(py + r));
}

}  // namespace

// u fights every foreign Alive Unit within its reach, in slot order. u fights
// on even after it has lost.
void resolveContacts(int u) {
  const ContactIndex& c = contactIndex;
  if (!c.active) return resolveContactsPlain(u);
  const UnitTable& t = units;
  const int32_t reach = t.genome[u][kGeneContactRange], kind = t.genome[u][kGeneKin], px = t.posX[u], py = t.posY[u];
  // The common case: u in the field, a reach of 1 to commonReach and a kin
  // marker whose window -lowest .. highest fits 16 bits (|kind| at most
  // commonKind). Its buckets, up to eight columns of up to eight, lie within
  // the border and take in some of the field's (whose outermost hold the
  // Units beyond it); their 16-bit ranges are read a column at a time, -low
  // and high against -lowest and highest.
  if ((uint32_t)reach - 1u >= c.commonReach || (uint32_t)kind + c.commonKind > 2u * c.commonKind ||
      (uint32_t)px >= (uint32_t)kWorldWidth || (uint32_t)py >= (uint32_t)kWorldHeight)
    return resolveContactsWide(u);
  const int32_t lowest = kind - c.tolerance, highest = kind + c.tolerance;
  if (lowest <= c.allLow && c.allHigh <= highest) return;
  const int r = reach - 1, x0 = (px - r) >> kBucketShift, y0 = (py - r) >> kBucketShift;
  const int columns = ((px + r) >> kBucketShift) - x0 + 1, last = ((py + r) >> kBucketShift) - y0;
  const uint32_t rows = 0xffffffffu >> (28 - 4 * last);  // four bits a bucket
  uint32_t marks[2 * kLanes], foreign = 0;
  const int16_t* pair = c.kinPair + 2 * bucketIndex(x0, y0);
#ifdef __SSE2__
  const __m128i bound = _mm_set1_epi32((int32_t)((uint16_t)-lowest | (uint32_t)(uint16_t)highest << 16));
  for (int k = 0; k < columns; ++k, pair += 2 * kStride) {
    uint32_t m = (uint32_t)_mm_movemask_epi8(_mm_cmpgt_epi16(_mm_loadu_si128((const __m128i*)pair), bound));
    if (last >= kLanes)
      m |= (uint32_t)_mm_movemask_epi8(_mm_cmpgt_epi16(_mm_loadu_si128((const __m128i*)(pair + 8)), bound)) << 16;
    foreign |= marks[k] = m & rows;
  }
#else
  for (int k = 0; k < columns; ++k, pair += 2 * kStride) {
    uint32_t m = 0;
    for (int row = 0; row <= last; ++row) m |= (uint32_t)(pair[2 * row] > -lowest || pair[2 * row + 1] > highest) << 4 * row;
    foreign |= marks[k] = m;
  }
#endif
  if (foreign) meetMarked(u, x0, y0, marks, columns);
}
