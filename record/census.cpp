#include "record/census.h"

Tally rowTally;
Tally runTally;
Lineage lineage[kMaxUnits];
int64_t nextUnitId = 0;

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

class Census : public SimulationObserver {
 public:
  void arrived(int slot, Arrival how, int parent) override {
    Tally* tallies[] = {&rowTally, &runTally};
    for (Tally* t : tallies) ++(how == Arrival::Birth ? t->births : t->seeded);
    lineage[slot] = {nextUnitId++, parent >= 0 ? lineage[parent].id : -1, runningFrame()};
  }
  void died(int, DeathCause cause) override {
    ++rowTally.deaths[(int)cause];
    ++runTally.deaths[(int)cause];
  }
} census;

}  // namespace

void startCensus() {
  rowTally = Tally{};
  runTally = Tally{};
  nextUnitId = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    lineage[u] = units.status[u] == Alive ? Lineage{nextUnitId++, -1, 0} : Lineage{};
  subscribe(&census);
}

void stopCensus() { unsubscribe(&census); }
