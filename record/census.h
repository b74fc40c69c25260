// Who lives in a run: every arrival and death counted by kind and cause, and
// the identity of each living Unit (its id, its parent's id, the frame it
// arrived in). The census is one of the simulation's observers; it reads the
// unit table and never writes it, and draws no random number.
#pragma once
#include <cstdint>

#include "units/units.h"

struct Tally {
  int64_t births = 0;  // offspring placed by breeding
  int64_t seeded = 0;  // re-seed spawns
  int64_t deaths[kDeathCauseCount] = {};
  int64_t deathTotal() const;
  void add(const Tally& other);
};

// The identity of the Unit in a slot, valid while the slot is Alive (and in
// the frame it dies, until its slot is reused).
struct Lineage {
  int64_t id = -1;
  int64_t parent = -1;  // the parent's id; -1 for a seeded or loaded Unit
  int64_t origin = 0;   // frame of arrival; 0 for the Units of the loaded world
};

extern Tally rowTally;  // since the last stats row
extern Tally runTally;  // since the run began
extern Lineage lineage[kMaxUnits];
extern int64_t nextUnitId;

// Starts counting on the world as it stands: every Alive Unit gets an id of
// its own (in slot order, from 0), with no parent and origin frame 0; the
// tallies start at zero and the census subscribes to the simulation. A
// newcomer's origin is the simulation's running frame.
void startCensus();
// Unsubscribes (the counts stay as they are).
void stopCensus();
