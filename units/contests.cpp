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
    int32_t& count = field.neighbourCounts[cellIndex(x + s.dx, y + s.dy)];
    if (count != 3) {
      count = 3;
      ++n;
    }
  }
  if (n > 0) touchCells(x, y, 2);
  return n;
}

// u fights every foreign Alive Unit within its reach, in slot order. The
// richer one wins and takes the loser's energy; ties go to u. u fights on
// even after it has lost.
void resolveContacts(int u) {
  UnitTable& t = units;
  const int64_t reach = t.genome[u][19];
  const int32_t kind = t.genome[u][12];
  for (int i = 0; i < kMaxUnits; ++i) {
    if (i == u || t.status[i] != Alive) continue;
    if (absDiff64(t.posX[u], t.posX[i]) + absDiff64(t.posY[u], t.posY[i]) >= reach) continue;
    if (wrapAbs(wrapSub(kind, t.genome[i][12])) <= 20) continue;
    if (t.energy[u] < t.energy[i]) {
      t.status[u] = Dead;
      t.stock[i] = truncToInt((double)t.stock[i] + (double)t.energy[u]);
      t.energy[i] = t.energy[i] + t.energy[u];
    } else {
      t.status[i] = Dead;
      t.stock[u] = truncToInt((double)t.stock[u] + (double)t.energy[i]);
      t.energy[u] = t.energy[u] + t.energy[i];
    }
  }
}
