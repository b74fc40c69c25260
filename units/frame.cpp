// The simulation's frame, and the state it carries from one frame to the next
// beside the cell field and the unit table.
#include "units/units.h"
#include "world/cellfield.h"

SimulationState simulation;

void simulateFrame() {
  countRunningFrame();
  if (simulation.generationPhase == 0) stepGeneration();
  simulation.generationPhase += 1;
  if (simulation.generationPhase > 2) simulation.generationPhase = 0;
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
  simulation = SimulationState{};
  continueFrameCount(0);
}
