#include "genome/arith.h"
#include "units/units.h"
#include "world/cellfield.h"

float foodDivisor = 0.0f;
int32_t livingCount = 0;
int32_t reseeding = 1;
Genome reseedGenome{};
bool reseedGenomeDrawn = false;
int32_t generationPhase = 0;

int32_t evolutionLevel() { return truncToInt((double)foodDivisor * 20.0 - 9.0); }

void raiseFoodDivisor() { foodDivisor = (float)((double)foodDivisor + 0.05); }
void resetFoodDivisor() { foodDivisor = 0.5f; }

void cullWorld() {
  raiseFoodDivisor();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && randomRange(0, 100) > 10) markDead(u, DeathCause::Cull);
  CellField& grids = editCellGrids();
  for (int i = 0; i < kCellCount; ++i) {
    if (randomRange(0, 100) > 30) {
      grids.cells[i] = Empty;
      grids.neighbourCounts[i] = 0;
    }
  }
}

void sowAtRandom() {
  if (randomRange(0, 30) != 1) return;
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
  randomGenome(reseedGenome);
  reseedGenomeDrawn = true;
}

void regulatePopulation() {
  livingCount = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) ++livingCount;

  if (livingCount <= 4 && reseeding == 0) {
    reseeding = 1;
    // A loaded world that shrinks before any re-seed spawn of this run has
    // no re-seed genome yet: draw one to take gene 6 from.
    if (!reseedGenomeDrawn) drawReseedGenome();
    float survivorEnergy = (float)(int32_t)((uint32_t)reseedGenome[kGeneForageEnergy] * 2u);
    for (int u = 0; u < kMaxUnits; ++u)
      if (units.status[u] == Alive) units.energy[u] = survivorEnergy;
  }
  if (reseeding == 1) {
    resetFoodDivisor();
    drawReseedGenome();
    int slot = spawnUnit(407, 262, reseedGenome);
    if (slot != -1) {
      units.posX[slot] = units.homeX[slot];
      units.posY[slot] = units.homeY[slot];
      placeInContactIndex(slot);
      noteArrival(slot, Arrival::Seeded, -1);
    }
    livingCount += 1;
  }
  if (livingCount > 100) reseeding = 0;
  if (livingCount > 800) cullWorld();
}

void clearWorld() {
  for (int u = 0; u < kMaxUnits; ++u) markDead(u, DeathCause::Clear);  // Free slots too
  CellField& grids = editCellGrids();
  for (int i = 0; i < kCellCount; ++i) {
    grids.cells[i] = Empty;
    grids.neighbourCounts[i] = 0;
  }
}

void simulateFrame() {
  if (generationPhase == 0) stepGeneration();
  generationPhase += 1;
  if (generationPhase > 2) generationPhase = 0;
  reapDead();
  beginContactIndex();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) tickUnit(u);
  endContactIndex();
  sowAtRandom();
}

void resetSimulation() {
  clearField();
  resetUnitTable();
  foodDivisor = 0.0f;
  livingCount = 0;
  reseeding = 1;
  reseedGenome = Genome{};
  reseedGenomeDrawn = false;
  generationPhase = 0;
}
