#include "genome/arith.h"
#include "units/params.h"
#include "units/units.h"
#include "world/cellfield.h"

int32_t evolutionLevel() { return truncToInt((double)simulation.foodDivisor * 20.0 - 9.0); }

void raiseFoodDivisor() { simulation.foodDivisor = (float)((double)simulation.foodDivisor + rules.foodStep); }
void resetFoodDivisor() { simulation.foodDivisor = (float)rules.foodStart; }

void cullWorld() {
  raiseFoodDivisor();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && randomRange(0, 100) > rules.cullUnitsSpared) markDead(u, DeathCause::Cull);
  CellField& grids = editCellGrids();
  const int32_t spared = rules.cullCellsSpared;
  for (int i = 0; i < kCellCount; ++i) {
    if (randomRange(0, 100) > spared) {
      grids.cells[i] = Empty;
      grids.neighbourCounts[i] = 0;
    }
  }
}

void sowAtRandom() {
  if (randomRange(0, rules.sowChance) != 1) return;
  int slot = randomRange(0, 1000);
  if (slot >= kMaxUnits) slot = 0;  // the rare top draw names no slot
  int wraps = 0;
  while (units.status[slot] != Alive && wraps < 2) {
    ++slot;
    if (slot == kMaxUnits) {
      slot = 0;
      ++wraps;
    }
  }
  if (wraps >= 2) return;
  int32_t y = randomRange(2, 523);
  int32_t x = randomRange(2, 823);
  sowPattern(x, y, slot);
}

static void drawReseedGenome() {
  randomGenome(simulation.reseedGenome, rules.genes);
  simulation.reseedGenomeDrawn = true;
}

void regulatePopulation() {
  SimulationState& s = simulation;
  s.livingCount = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) ++s.livingCount;

  if (s.livingCount <= rules.reseedAt && s.reseeding == 0) {
    s.reseeding = 1;
    // A loaded world that shrinks before any re-seed spawn of this run has
    // no re-seed genome yet: draw one to take gene 6 from.
    if (!s.reseedGenomeDrawn) drawReseedGenome();
    float survivorEnergy = (float)(int32_t)((uint32_t)s.reseedGenome[kGeneForageEnergy] * 2u);
    for (int u = 0; u < kMaxUnits; ++u)
      if (units.status[u] == Alive) units.energy[u] = survivorEnergy;
  }
  if (s.reseeding == 1) {
    resetFoodDivisor();
    drawReseedGenome();
    int slot = spawnUnit(407, 262, s.reseedGenome);
    if (slot != -1) {
      units.posX[slot] = units.homeX[slot];
      units.posY[slot] = units.homeY[slot];
      placeInContactIndex(slot);
      noteArrival(slot, Arrival::Seeded, -1);
    }
    s.livingCount += 1;
  }
  if (s.livingCount > rules.reseedUntil) s.reseeding = 0;
  if (s.livingCount > rules.cullAt) cullWorld();
  tellFrameEnded();
}

void clearWorld() {
  for (int u = 0; u < kMaxUnits; ++u) markDead(u, DeathCause::Clear);  // Free slots too
  CellField& grids = editCellGrids();
  for (int i = 0; i < kCellCount; ++i) {
    grids.cells[i] = Empty;
    grids.neighbourCounts[i] = 0;
  }
}
