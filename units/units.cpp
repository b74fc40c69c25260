#include "units/units.h"

#include <cstring>

#include "genome/arith.h"
#include "world/cellfield.h"

UnitTable units;

void resetUnitTable() {
  std::memset(&units, 0, sizeof units);
  unitTableChanged();
  units.spareB[0] = 300;
  units.memory[0][0] = -1;
}

// The table holds its process-start contents before main runs.
static const bool unitTableReady = (resetUnitTable(), true);

int spawnUnit(int32_t x, int32_t y, const Genome& genome) {
  int u = 0;
  while (u < kMaxUnits && units.status[u] != Free) ++u;
  if (u == kMaxUnits) return -1;
  units.posX[u] = x;
  units.posY[u] = y;
  units.targetX[u] = 0;
  units.targetY[u] = 0;
  units.mode[u] = Homeward;
  units.searchRadius[u] = 20;
  units.sowTimer[u] = 0;
  units.stock[u] = 0;
  units.status[u] = Alive;
  units.genome[u] = genome;
  for (int k = 0; k < kMemoryLength; ++k) units.memory[u][k] = -1;
  units.age[u] = 0;
  units.spareA[u] = 0;
  units.energy[u] = (float)((double)genome[kGeneForageEnergy] * 2.3);
  computeHomeAnchor(u);
  computeAwayAnchor(u);
  placeInContactIndex(u);
  return u;
}

namespace {
// An anchor coordinate from its gene: gene / 80 of the field's extent, kept
// 10 cells inside the far edge and at least 10 from the near one.
int32_t anchorFromGene(int32_t gene, double extent, int32_t highLimit) {
  int32_t v = truncToInt((double)gene / 80.0 * extent);
  if (v > highLimit) v = highLimit;
  if (v < 10) v = 10;
  return v;
}
}  // namespace

void computeHomeAnchor(int u) {
  units.homeX[u] = anchorFromGene(units.genome[u][kGeneHomeX], 825.0, 815);
  units.homeY[u] = anchorFromGene(units.genome[u][kGeneHomeY], 525.0, 515);
}

void computeAwayAnchor(int u) {
  units.awayX[u] = anchorFromGene(units.genome[u][kGeneAwayX], 825.0, 815);
  units.awayY[u] = anchorFromGene(units.genome[u][kGeneAwayY], 525.0, 515);
}

void reapDead() {
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Dead) units.status[u] = Free;
}
