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

// Free Live cells of column x (1..824), rows 1..524.
struct FoodColumn {
  uint64_t bits[kColumnWords];
  explicit FoodColumn(int x) {
    foodColumn(x, bits);
    bits[0] &= ~uint64_t(1);  // row 0 is never searched
  }
  bool at(int64_t y) const { return y >= 0 && y < kWorldHeight && ((bits[y >> 6] >> (y & 63)) & 1); }
  // The highest food row at or above y (y itself included), or -1.
  int64_t atOrAbove(int64_t y) const {
    if (y < 0) return -1;
    if (y >= kWorldHeight) y = kWorldHeight - 1;
    int w = (int)(y >> 6);
    uint64_t word = bits[w] & (~uint64_t(0) >> (63 - (y & 63)));
    while (true) {
      if (word) return 64 * w + 63 - __builtin_clzll(word);
      if (--w < 0) return -1;
      word = bits[w];
    }
  }
  // The lowest food row at or below y, or -1.
  int64_t atOrBelow(int64_t y) const {
    if (y >= kWorldHeight) return -1;
    if (y < 0) y = 0;
    int w = (int)(y >> 6);
    uint64_t word = bits[w] & (~uint64_t(0) << (y & 63));
    while (true) {
      if (word) return 64 * w + __builtin_ctzll(word);
      if (++w >= kColumnWords) return -1;
      word = bits[w];
    }
  }
  // The least |y - py| over food rows other than skip, or -1.
  int64_t nearest(int64_t py, int64_t skip) const {
    int64_t above = atOrAbove(py);
    if (above == skip && above >= 0) above = atOrAbove(above - 1);
    int64_t below = atOrBelow(py + 1);
    if (below == skip && below >= 0) below = atOrBelow(below + 1);
    int64_t best = -1;
    if (above >= 0) best = py - above;
    if (below >= 0 && (best < 0 || below - py < best)) best = below - py;
    return best;
  }
};

int findFoodByColumns(int u) {
  const int64_t px = units.posX[u], py = units.posY[u];
  const int64_t radius = units.searchRadius[u];
  if (radius <= 0) return 0;
  preparePackedCells();
  // The least ring found so far; rings from radius on are not searched.
  int64_t best = radius;
  const int64_t nearestColumn = std::max<int64_t>({0, kMinX - px, px - kMaxX});
  const int64_t farthestColumn = std::max<int64_t>(px - kMinX, kMaxX - px);
  for (int64_t dx = nearestColumn; dx < best && dx <= farthestColumn; ++dx) {
    for (int side = 0; side < 2; ++side) {
      if (side == 1 && dx == 0) break;
      const int64_t x = side == 0 ? px - dx : px + dx;
      if (x < kMinX || x > kMaxX) continue;
      const FoodColumn food((int)x);
      const int64_t skip = side == 0 ? (dx == 0 ? py : -1) : py + dx;
      const int64_t d = food.nearest(py, skip);
      if (d < 0) continue;
      const int64_t ring = std::max(dx, d);
      if (ring < best) best = ring;
    }
  }
  if (best >= radius) return 0;
  // Walk ring `best` in stroke order: it holds the winner.
  const int64_t r = best;
  auto row = [&](int64_t y) {
    if (y < kMinY || y > kMaxY) return false;
    for (int64_t x = std::max(px - r, kMinX), end = std::min(px + r - 1, kMaxX); x <= end; ++x)
      if (foodAt((int)x, (int)y)) { claim(u, x, y); return true; }
    return false;
  };
  auto column = [&](int64_t x) {
    if (x < kMinX || x > kMaxX) return false;
    const FoodColumn food((int)x);
    const int64_t y = food.atOrBelow(std::max(py - r, kMinY));
    if (y < 0 || y > py + r - 1) return false;
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
  if (!(foodDivisor > 0.0f) || !std::isfinite(foodDivisor)) return 0.0;
  return (double)eaten / (double)foodDivisor;
}
