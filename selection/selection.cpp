#include "selection/selection.h"

#include "genome/arith.h"

Selection hoverSelection;
Selection pickedSelection;

void Selection::clear() {
  for (cursor = 0; cursor < kMaxUnits; ++cursor) ids[cursor] = -1;
}

void Selection::pickNearest(int32_t x, int32_t y) {
  int64_t best = 9999;
  for (cursor = 0; cursor < kMaxUnits; ++cursor) {
    if (units.status[cursor] != Alive) continue;
    int64_t d = absDiff64(x, units.posX[cursor]) + absDiff64(y, units.posY[cursor]);
    if (d < best) {
      best = d;
      ids[0] = cursor;
    }
  }
}

void Selection::addSimilar(float tolerance) {
  if (ids[0] < 0) return;
  int n = 1;
  for (cursor = 0; cursor < kMaxUnits; ++cursor) {
    if (cursor == ids[0]) continue;
    if (genomeDistance(units.genome[cursor], units.genome[ids[0]]) < (double)tolerance) ids[n++] = cursor;
  }
}

int32_t Selection::contains(int32_t id) {
  for (cursor = 0; cursor < kMaxUnits; ++cursor)
    if (ids[cursor] == id) return 1;
  return 0;
}

void Selection::pruneDead() {
  for (cursor = 0; cursor < kMaxUnits; ++cursor)
    if (ids[cursor] != -1 && (ids[cursor] < 0 || ids[cursor] >= kMaxUnits || units.status[ids[cursor]] != Alive))
      ids[cursor] = -1;
}
