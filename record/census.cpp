#include "record/census.h"

Tally rowTally;
Tally runTally;
Lineage lineage[kMaxUnits];
int64_t nextUnitId = 0;
int64_t censusFrame = 0;
void (*unitGoneListener)(int slot, DeathCause cause) = nullptr;

int64_t Tally::deathTotal() const {
  int64_t sum = 0;
  for (int64_t d : deaths) sum += d;
  return sum;
}

void Tally::add(const Tally& other) {
  births += other.births;
  seeded += other.seeded;
  for (int c = 0; c < kDeathCauseCount; ++c) deaths[c] += other.deaths[c];
}

namespace {

void unitArrived(int slot, Arrival how, int parent) {
  Tally* tallies[] = {&rowTally, &runTally};
  for (Tally* t : tallies) ++(how == Arrival::Birth ? t->births : t->seeded);
  lineage[slot] = {nextUnitId++, parent >= 0 ? lineage[parent].id : -1, censusFrame};
}

void unitDied(int slot, DeathCause cause) {
  ++rowTally.deaths[(int)cause];
  ++runTally.deaths[(int)cause];
  if (unitGoneListener) unitGoneListener(slot, cause);
}

}  // namespace

void startCensus() {
  rowTally = Tally{};
  runTally = Tally{};
  nextUnitId = 0;
  censusFrame = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    lineage[u] = units.status[u] == Alive ? Lineage{nextUnitId++, -1, 0} : Lineage{};
  unitArrivedHook = unitArrived;
  unitDiedHook = unitDied;
}

void stopCensus() {
  unitArrivedHook = nullptr;
  unitDiedHook = nullptr;
}
