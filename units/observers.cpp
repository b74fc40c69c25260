// The observers of the simulation and the count of its running frames.
#include <cstdio>
#include <cstdlib>

#include "units/observers.h"

namespace {
// A fixed list: nothing is allocated while the simulation runs.
struct Observers {
  SimulationObserver* list[kMaxObservers] = {};
  int count = 0;
  int64_t frame = 0;
} observers;
}  // namespace

void subscribe(SimulationObserver* observer) {
  for (int i = 0; i < observers.count; ++i)
    if (observers.list[i] == observer) return;
  if (observers.count == kMaxObservers) {
    std::fprintf(stderr, "more than %d observers of the simulation\n", kMaxObservers);
    std::abort();
  }
  observers.list[observers.count++] = observer;
}

void unsubscribe(SimulationObserver* observer) {
  for (int i = 0; i < observers.count; ++i)
    if (observers.list[i] == observer) {
      // The others keep their order: they are told in the order they came.
      for (int j = i + 1; j < observers.count; ++j) observers.list[j - 1] = observers.list[j];
      observers.list[--observers.count] = nullptr;
      return;
    }
}

int64_t runningFrame() { return observers.frame; }
void continueFrameCount(int64_t frame) { observers.frame = frame; }
void countRunningFrame() { ++observers.frame; }

void noteArrival(int u, Arrival how, int parent) {
  for (int i = 0; i < observers.count; ++i) observers.list[i]->arrived(u, how, parent);
}

void tellDeath(int u, DeathCause cause) {
  for (int i = 0; i < observers.count; ++i) observers.list[i]->died(u, cause);
}

void tellFrameEnded() {
  for (int i = 0; i < observers.count; ++i) observers.list[i]->frameEnded(observers.frame);
}
