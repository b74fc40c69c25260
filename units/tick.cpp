#include "genome/arith.h"
#include "units/params.h"
#include "units/units.h"

namespace {

void applyModeRules(int u) {
  const Genome& g = units.genome[u];
  int32_t& mode = units.mode[u];
  const double energy = units.energy[u];
  const int32_t stock = units.stock[u];
  const int64_t homeDist = absDiff64(units.posX[u], units.homeX[u]) + absDiff64(units.posY[u], units.homeY[u]);
  if (mode == Homeward && stock > g[kGeneBreedStock]) mode = Breed;
  if (mode == Breed && stock < g[kGeneBreedStock]) mode = Forage;
  if (mode == Forage && energy >= g[kGeneHomewardEnergy]) mode = Homeward;
  if (mode == Homeward && energy < g[kGeneForageEnergy]) mode = Forage;
  if (mode == Homeward && energy >= g[kGeneForageEnergy] && homeDist < g[kGeneHomeRadius]) mode = Outward;
  if (mode == Outward && energy < g[kGeneForageEnergy]) mode = Forage;
  if (mode == Outward && energy >= g[kGeneForageEnergy] && homeDist - g[kGeneReturnMargin] >= g[kGeneHomeRadius]) mode = Homeward;
}

void breed(int u) {
  const Genome& g = units.genome[u];
  int child = spawnUnit(wrapSub(units.posX[u], 5), wrapSub(units.posY[u], 5), g);
  if (child != -1) {
    noteArrival(child, Arrival::Birth, u);
    mutateNewborn(child, (float)((double)g[kGeneMutation] / 30.0));
    placeInContactIndex(child);  // its kin marker may have changed
  }
  units.stock[u] = 0;
}

}  // namespace

void mutateNewborn(int u, float factor) {
  Genome& g = units.genome[u];
  mutateGenome(g, factor, rules.genes);
  // The viability checks, on the mutated genes. The anchors stay where the
  // parent's genes put them at birth: the third check compares them with
  // the newborn's own reach.
  const int32_t reach = wrapAdd(g[kGeneHomeRadius], g[kGeneReturnMargin]);
  const int64_t anchorDist = absDiff64(units.homeX[u], units.awayX[u]) + absDiff64(units.homeY[u], units.awayY[u]);
  if (wrapSub(g[kGeneHomewardEnergy], g[kGeneForageEnergy]) <= 10 || reach > g[kGeneSowRange] || anchorDist < reach)
    markDead(u, DeathCause::Unfit);
}

void tickUnit(int u) {
  UnitTable& t = units;
  const Genome& g = t.genome[u];

  // Ageing and starvation: a Unit marked Dead here still lives out this tick.
  t.age[u] = wrapAdd(t.age[u], 1);
  if (t.age[u] > g[kGeneLifespan]) markDead(u, DeathCause::Age);
  if (t.energy[u] <= 0) markDead(u, DeathCause::Starvation);

  resolveContacts(u);

  // Paced food search.
  t.pacePeriod[u] = t.searchRadius[u] > 30 ? t.searchRadius[u] / 30 : 0;
  bool found;
  if (t.paceCounter[u] < t.pacePeriod[u]) {
    found = true;
    t.paceCounter[u] = wrapAdd(t.paceCounter[u], 1);
  } else {
    t.paceCounter[u] = 0;
    found = t.mode[u] == Forage && findFood(u) == 1;
  }
  if (!found && t.mode[u] == Forage) {
    if (t.searchRadius[u] >= 825)
      markDead(u, DeathCause::Search);
    else
      t.searchRadius[u] = wrapAdd(wrapMul(t.searchRadius[u], 3), 10);
    return;
  }

  // Target by mode.
  switch (t.mode[u]) {
    case Homeward:
      t.targetX[u] = t.homeX[u];
      t.targetY[u] = t.homeY[u];
      break;
    case Outward:
      t.targetX[u] = t.awayX[u];
      t.targetY[u] = t.awayY[u];
      break;
    case Breed:
      if (!found) {
        t.targetX[u] = t.homeX[u];
        t.targetY[u] = t.homeY[u];
        if (t.posX[u] == t.targetX[u] && t.posY[u] == t.targetY[u]) breed(u);
      }
      break;
    default:
      break;  // Forage keeps the target its search set; other values walk on
  }

  // Step sizes, from the distances before the move.
  const float distX = (float)absDiff64(t.posX[u], t.targetX[u]);
  const float distY = (float)absDiff64(t.posY[u], t.targetY[u]);
  float stepX = 1.0f, stepY = 1.0f;
  if ((double)g[kGeneLongStepDistance] < (double)distX) stepX = (float)g[kGeneLongStep];
  if ((double)g[kGeneLongStepDistance] < (double)distY) stepY = (float)g[kGeneLongStep];
  if (distX > distY) {
    float ratio = distY / distX;
    stepY = stepY * ratio;
  } else if (distX < distY) {
    float ratio = distX / distY;
    stepX = stepX * ratio;
  }

  // Move, y first; each axis tests the increasing direction, then the
  // decreasing one on the value just written.
  const int32_t fromX = t.posX[u], fromY = t.posY[u];
  if (t.targetY[u] > t.posY[u]) t.posY[u] = truncToInt((double)t.posY[u] + (double)stepY);
  if (t.targetY[u] < t.posY[u]) t.posY[u] = truncToInt((double)t.posY[u] - (double)stepY);
  if (t.targetX[u] > t.posX[u]) t.posX[u] = truncToInt((double)t.posX[u] + (double)stepX);
  if (t.targetX[u] < t.posX[u]) t.posX[u] = truncToInt((double)t.posX[u] - (double)stepX);
  if (leftContactBucket(fromX, fromY, t.posX[u], t.posY[u])) placeInContactIndex(u);

  const double stepSum = (double)stepX + (double)stepY;
  if (t.searchRadius[u] > 20) t.searchRadius[u] = truncToInt((double)t.searchRadius[u] - stepSum);
  if (t.energy[u] > 0) t.energy[u] = (float)((double)t.energy[u] - stepSum * ((double)g[kGeneMoveCost] / 60.0));

  int32_t eaten = truncToInt(eatAt(t.posX[u], t.posY[u]));
  t.energy[u] = (float)((double)t.energy[u] + (double)eaten);
  t.stock[u] = wrapAdd(t.stock[u], eaten);

  // Farming near the target.
  if ((t.mode[u] == Homeward || t.mode[u] == Outward) && (double)distX + (double)distY < (double)g[kGeneSowRange]) {
    if (t.sowTimer[u] == 0) {
      int n = sowPattern(t.posX[u], t.posY[u], u);
      t.energy[u] = (float)((double)t.energy[u] - (double)n);
    }
    t.sowTimer[u] = wrapAdd(t.sowTimer[u], 1);
    if (t.sowTimer[u] >= g[kGeneSowPeriod]) t.sowTimer[u] = 0;
  }

  applyModeRules(u);
}
