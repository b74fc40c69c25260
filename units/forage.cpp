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

}  // namespace

int findFood(int u) { return findFoodPlain(u); }

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
