#include <algorithm>
#include <cmath>

#include "units/units.h"
#include "world/cellfield.h"

namespace {

// Searchable cells: columns 1..824, rows 1..524.
constexpr int64_t kMinX = 1, kMaxX = kWorldWidth - 1;
constexpr int64_t kMinY = 1, kMaxY = kWorldHeight - 1;

inline bool qualifies(int64_t x, int64_t y) {
  return cellState((int)x, (int)y) == Live && claimMark((int)x, (int)y) == 0;
}

inline void claim(int u, int64_t x, int64_t y) {
  units.targetX[u] = (int32_t)x;
  units.targetY[u] = (int32_t)y;
  markClaim((int)x, (int)y);
}

// --- The ring walk -------------------------------------------------------

// A row stroke at row y over columns from..to (inclusive), clipped to the
// searchable columns; returns true when it claimed a cell.
bool searchRow(int u, int64_t y, int64_t from, int64_t to) {
  if (y < kMinY || y > kMaxY) return false;
  for (int64_t x = std::max(from, kMinX), end = std::min(to, kMaxX); x <= end; ++x)
    if (qualifies(x, y)) { claim(u, x, y); return true; }
  return false;
}

bool searchColumn(int u, int64_t x, int64_t from, int64_t to) {
  if (x < kMinX || x > kMaxX) return false;
  for (int64_t y = std::max(from, kMinY), end = std::min(to, kMaxY); y <= end; ++y)
    if (qualifies(x, y)) { claim(u, x, y); return true; }
  return false;
}

// Rings of Chebyshev radius 0 .. R-1, each walked in four half-open strokes
// (top row, bottom row, left column, right column). Rings that cannot touch
// the searchable area are not walked: the search starts at the first ring
// that reaches it and ends after the last ring that does.
int findFoodPlain(int u) {
  const int64_t px = units.posX[u], py = units.posY[u];
  const int64_t radius = units.searchRadius[u];
  if (radius <= 0) return 0;
  const int64_t first = std::max<int64_t>({0, kMinX - px, px - kMaxX, kMinY - py, py - kMaxY});
  const int64_t last = std::min<int64_t>(radius - 1, std::max<int64_t>({px - kMinX, kMaxX - px, py - kMinY, kMaxY - py}));
  for (int64_t r = first; r <= last; ++r) {
    if (searchRow(u, py - r, px - r, px + r - 1)) return 1;
    if (searchRow(u, py + r, px - r, px + r - 1)) return 1;
    if (searchColumn(u, px - r, py - r, py + r - 1)) return 1;
    if (searchColumn(u, px + r, py - r, py + r - 1)) return 1;
  }
  return 0;
}

// --- The column search -----------------------------------------------------
//
// The ring walk finds the nearest food by Chebyshev distance, with two
// quirks of its half-open strokes: the Unit's own cell (ring 0) and the
// lower-right corner of every ring, (px + r, py + r), are never visited.
// So the ring of the winner is the least, over the searchable columns x, of
//   max(|x - px|, the row distance |y - py| of the nearest food in column x),
// leaving out (px, py) in the Unit's column and (x, py + (x - px)) in a
// column to its right. Packed columns give each column's nearest food in a
// few word operations; columns are taken outward from px and the walk stops
// once they lie farther out than the best ring so far. Then only that ring
// is walked, in stroke order, for the winner.

// Free Live cells of column x (1..824) in word w, rows 1..524.
inline uint64_t foodBits(int64_t x, int w) {
  const uint64_t bits = foodWord((int)x, w);
  return w == 0 ? bits & ~uint64_t(1) : bits;  // row 0 is never searched
}

// The highest food row of column x in low..y, or -1.
int64_t highestFood(int64_t x, int64_t y, int64_t low) {
  y = std::min<int64_t>(y, kWorldHeight - 1);
  low = std::max<int64_t>(low, 0);
  if (y < low) return -1;
  int w = (int)(y >> 6);
  uint64_t word = foodBits(x, w) & (~uint64_t(0) >> (63 - (y & 63)));
  while (!word) {
    if (--w < (int)(low >> 6)) return -1;
    word = foodBits(x, w);
  }
  const int64_t row = 64 * w + 63 - __builtin_clzll(word);
  return row >= low ? row : -1;
}

// The lowest food row of column x in y..high, or -1.
int64_t lowestFood(int64_t x, int64_t y, int64_t high) {
  y = std::max<int64_t>(y, 0);
  high = std::min<int64_t>(high, kWorldHeight - 1);
  if (y > high) return -1;
  int w = (int)(y >> 6);
  uint64_t word = foodBits(x, w) & (~uint64_t(0) << (y & 63));
  while (!word) {
    if (++w > (int)(high >> 6)) return -1;
    word = foodBits(x, w);
  }
  const int64_t row = 64 * w + __builtin_ctzll(word);
  return row <= high ? row : -1;
}

// The least |y - py|, up to limit, over the food rows of column x other
// than skip; -1 when there is none.
int64_t nearestFood(int64_t x, int64_t py, int64_t skip, int64_t limit) {
  int64_t above = highestFood(x, py, py - limit);
  if (above >= 0 && above == skip) above = highestFood(x, above - 1, py - limit);
  int64_t below = lowestFood(x, py + 1, py + limit);
  if (below >= 0 && below == skip) below = lowestFood(x, below + 1, py + limit);
  if (above < 0) return below < 0 ? -1 : below - py;
  return below < 0 ? py - above : std::min(py - above, below - py);
}

// --- The near search -------------------------------------------------------
//
// Most searches end within a few rings. Rings up to 31 are taken from the
// 64-row windows of the columns around the Unit (row py at bit 32): the
// food of the square of rings 0..r is the union of the windows of columns
// px - r .. px + r in rows py - r .. py + r, so the columns are added two by
// two, outward, until that union meets the square. The cells the ring walk
// never visits are left out of the windows first: the Unit's own cell and,
// in column px + d, the corner (px + d, py + d) of ring d. Then only the
// winning ring is walked, from the windows, in stroke order.

constexpr int kNearRings = 31;

// 1 when the search claimed a cell, 0 when every ring below the radius is
// empty, -1 when rings beyond kNearRings remain to be searched.
int findFoodNear(int u, int64_t px, int64_t py, int64_t radius) {
  const int64_t rings = std::min<int64_t>(radius - 1, kNearRings);  // rings 1..rings are searched here
  // The window of a column, rows py - 32 .. py + 31, is cut from words w
  // and w + 1 of the column (a word of zeros where there is none), rows
  // outside the field 0.
  static const uint64_t kNoWords[kPlaneWidth] = {};
  const int64_t first = py - 32;
  if (first <= -64 || first >= kWorldHeight) return rings == radius - 1 ? 0 : -1;
  const int w = first < 0 ? 0 : (int)(first >> 6);
  const int up = first < 0 ? (int)-first : 0;         // word w shifted up (to higher bits)
  const int down = first < 0 ? 0 : (int)(first & 63);  // or down, and word w + 1 up by 64 - down
  const FoodRow row = foodRow(w);
  const bool next = w + 1 < kColumnWords;
  const FoodRow rowNext = next ? foodRow(w + 1) : FoodRow{kNoWords, kNoWords};
  const uint64_t *live = row.live, *claims = row.claims, *liveNext = rowNext.live, *claimsNext = rowNext.claims;
  const uint64_t rowZero = w == 0 ? ~uint64_t(1) : ~uint64_t(0);  // row 0 is never searched
  auto window = [&](int64_t x) -> uint64_t {
    if ((uint64_t)(x - kMinX) > (uint64_t)(kMaxX - kMinX)) return 0;
    const uint64_t low = live[x] & ~claims[x] & rowZero, high = liveNext[x] & ~claimsNext[x];
    return (low << up >> down) | (high << 1 << (63 - down));
  };
  uint64_t column[2 * kNearRings + 1];  // the windows of columns px - 31 .. px + 31
  uint64_t* at = column + kNearRings;   // at[dx]: column px + dx
  at[0] = window(px) & ~(uint64_t(1) << 32);
  uint64_t inner = at[0];  // the union of the columns inside ring r
  int64_t r = 1;
  uint64_t rowsFood;       // the union of the columns of ring r's rows, px - r .. px + r - 1
  for (;; ++r) {
    if (r > rings) return rings == radius - 1 ? 0 : -1;
    at[-r] = window(px - r);
    at[r] = window(px + r) & ~(uint64_t(1) << (32 + r));
    rowsFood = inner | at[-r];
    inner = rowsFood | at[r];
    if (inner & (~uint64_t(0) >> (31 - r)) & (~uint64_t(0) << (32 - r))) break;  // rows py - r .. py + r
  }
  // Ring r: top row, bottom row, left column, right column.
  for (const int64_t dy : {-r, r})
    if (rowsFood >> (32 + dy) & 1)
      for (int64_t dx = -r;; ++dx)
        if (at[dx] >> (32 + dy) & 1) {
          claim(u, px + dx, py + dy);
          return 1;
        }
  const uint64_t rows = (~uint64_t(0) >> (32 - r)) & (~uint64_t(0) << (32 - r));  // py - r .. py + r - 1
  for (const int64_t dx : {-r, r})
    if (const uint64_t food = at[dx] & rows) {
      claim(u, px + dx, py - 32 + __builtin_ctzll(food));
      return 1;
    }
  return 0;  // not reached: ring r holds food
}

int findFoodByColumns(int u) {
  const int64_t px = units.posX[u], py = units.posY[u];
  const int64_t radius = units.searchRadius[u];
  if (radius <= 0) return 0;
  preparePackedCells();
  const int near = findFoodNear(u, px, py, radius);
  if (near >= 0) return near;
  // The least ring found so far (rings from radius on are not searched), and
  // the columns whose food lies on it or on a wider ring.
  int64_t best = radius;
  static int64_t candidate[2 * kWorldWidth], candidateRing[2 * kWorldWidth];
  int candidates = 0;
  const int64_t nearestColumn = std::max<int64_t>({0, kMinX - px, px - kMaxX});
  const int64_t farthestColumn = std::max<int64_t>(px - kMinX, kMaxX - px);
  for (int64_t dx = nearestColumn; dx < best && dx <= farthestColumn; ++dx) {
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && dx == 0) break;
      const int64_t x = side == 0 ? px - dx : px + dx;
      if (x < kMinX || x > kMaxX) continue;
      const int64_t skip = side == 0 ? (dx == 0 ? py : -1) : py + dx;
      // (The near search found nothing within its rings: every ring left is wider.)
      const int64_t d = nearestFood(x, py, skip, best);
      if (d < 0) continue;
      const int64_t ring = std::max(dx, d);
      best = std::min(best, ring);
      candidate[candidates] = x, candidateRing[candidates++] = ring;
    }
  }
  if (best >= radius) return 0;
  // Ring `best` holds the winner; walk it in stroke order. Its top and
  // bottom rows (columns px - best .. px + best - 1) can hold food only in
  // the candidate columns on that ring and in column px - best, which the
  // scan may not have reached.
  const int64_t r = best;
  auto row = [&](int64_t y) {
    if (y < kMinY || y > kMaxY) return false;
    int64_t winner = INT64_MAX;
    for (int k = 0; k < candidates; ++k)
      if (candidateRing[k] == r && candidate[k] < winner && candidate[k] < px + r && foodAt((int)candidate[k], (int)y))
        winner = candidate[k];
    if (px - r >= kMinX && foodAt((int)(px - r), (int)y)) winner = px - r;
    if (winner == INT64_MAX) return false;
    claim(u, winner, y);
    return true;
  };
  auto column = [&](int64_t x) {
    if (x < kMinX || x > kMaxX) return false;
    const int64_t y = lowestFood(x, std::max(py - r, kMinY), py + r - 1);
    if (y < 0) return false;
    claim(u, x, y);
    return true;
  };
  if (row(py - r) || row(py + r) || column(px - r) || column(px + r)) return 1;
  return 0;  // not reached: ring `best` holds food
}

}  // namespace

int findFood(int u) {
  if (usePlainPaths) return findFoodPlain(u);
  return findFoodByColumns(u);
}

double eatAt(int32_t x, int32_t y) {
  if (!inField(x, y) || cellState(x, y) != Live) return 0.0;
  static const int kArmX[5] = {0, 1, -1, 0, 0};
  static const int kArmY[5] = {0, 0, 0, 1, -1};
  int eaten = 0;
  for (int k = 0; k < 5; ++k) eaten += eatCell((int64_t)x + kArmX[k], (int64_t)y + kArmY[k]);
  // A divisor that is not a positive finite number makes the bite worthless.
  const float divisor = simulation.foodDivisor;
  if (!(divisor > 0.0f) || !std::isfinite(divisor)) return 0.0;
  return (double)eaten / (double)divisor;
}
