// The seam between the simulation and whoever watches it from outside (the
// headless runner's census and records, the kept tree of the living, a
// test): an observer subscribes and is told of every arrival and death as it
// happens and of the end of each running frame. The simulation never depends
// on them: an observer reads the tables and must not write them, draw a
// random number, or subscribe or unsubscribe while it is being told.
#pragma once
#include <cstdint>

enum class Arrival : int32_t { Birth, Seeded };
enum class DeathCause : int32_t { Age, Starvation, Contest, Search, Unfit, Cull, Clear };
constexpr int kDeathCauseCount = 7;

class SimulationObserver {
 public:
  // A newcomer in slot; parent is the slot that bred it, -1 for a seeded Unit.
  virtual void arrived(int slot, Arrival how, int parent) { (void)slot, (void)how, (void)parent; }
  // The Unit in slot died; its fields and genome are still in place.
  virtual void died(int slot, DeathCause cause) { (void)slot, (void)cause; }
  // Running frame number frame is over (told by regulatePopulation, the
  // frame's last step).
  virtual void frameEnded(int64_t frame) { (void)frame; }

 protected:
  ~SimulationObserver() = default;
};

// At most kMaxObservers at once; subscribing one twice tells it once.
constexpr int kMaxObservers = 8;
void subscribe(SimulationObserver* observer);
void unsubscribe(SimulationObserver* observer);

// The number of the running frame being simulated: simulateFrame counts it
// up by one as it starts, so during a frame's simulation, and until the
// next, it names that frame. 0 before the first frame after a reset;
// continueFrameCount(n) makes the next frame n + 1 (a resumed run). It is
// no part of the state file or of SimulationState.
int64_t runningFrame();
void continueFrameCount(int64_t frame);

// A newcomer in slot u, and a death: tell the observers.
void noteArrival(int u, Arrival how, int parent);
void tellDeath(int u, DeathCause cause);
// simulateFrame's count and regulatePopulation's end of the frame.
void countRunningFrame();
void tellFrameEnded();
