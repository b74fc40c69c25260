// The unit table and the life of a Unit: spawning, the tick, foraging,
// sowing, contests and population regulation.
#pragma once
#include <cstdint>
#include <cstring>

#include "genome/genome.h"
#include "units/observers.h"

constexpr int kMaxUnits = 1000;
constexpr int kMemoryLength = 30;

enum UnitStatus : int32_t { Free = 0, Alive = 1, Dead = -1 };
enum UnitMode : int32_t { Forage = 0, Homeward = 1, Outward = 2, Breed = 3 };

// One array per field, indexed by slot, in the order the state file carries them.
struct UnitTable {
  int32_t posX[kMaxUnits];
  int32_t posY[kMaxUnits];
  int32_t targetX[kMaxUnits];
  int32_t targetY[kMaxUnits];
  int32_t homeX[kMaxUnits];
  int32_t homeY[kMaxUnits];
  int32_t awayX[kMaxUnits];
  int32_t awayY[kMaxUnits];
  int32_t mode[kMaxUnits];
  int32_t searchRadius[kMaxUnits];
  int32_t sowTimer[kMaxUnits];
  int32_t status[kMaxUnits];
  int32_t age[kMaxUnits];
  int32_t stock[kMaxUnits];
  int32_t paceCounter[kMaxUnits];
  int32_t pacePeriod[kMaxUnits];  // recomputed every tick; not stored
  int32_t spareA[kMaxUnits];
  int32_t spareB[kMaxUnits];
  int32_t memory[kMaxUnits][kMemoryLength];
  float energy[kMaxUnits];
  Genome genome[kMaxUnits];
};

extern UnitTable units;

// Sets the table to its process-start contents: all zero and Free, except
// spareB of slot 0 (300) and the first memory entry of slot 0 (-1).
void resetUnitTable();

// The contact index forgets a Unit that died (see the contact index below).
void removeFromContactIndex(int u);

// Marks slot u Dead. Only the change from Alive is a death: a Unit marked
// again, or a slot that was not Alive, is not reported.
inline void markDead(int u, DeathCause cause) {
  const bool wasAlive = units.status[u] == Alive;
  units.status[u] = Dead;
  if (wasAlive) {
    removeFromContactIndex(u);
    tellDeath(u, cause);
  }
}

// --- Unit table and spawning -------------------------------------------
int spawnUnit(int32_t x, int32_t y, const Genome& genome);
void computeHomeAnchor(int u);
void computeAwayAnchor(int u);
void reapDead();

// --- The tick ----------------------------------------------------------
void tickUnit(int u);
// A newborn's genome mutated with the given factor (the parent's gene 33 /
// 30), then the viability checks: a newborn whose homeward energy is not
// more than 10 above its forage energy, whose reach (gene 16 + gene 32)
// exceeds its sow range or the distance between the anchors it was born
// with, dies as unfit.
void mutateNewborn(int u, float factor);

// --- Foraging and eating -----------------------------------------------
int findFood(int u);
double eatAt(int32_t x, int32_t y);

// --- Sowing and contests -----------------------------------------------
int sowPattern(int32_t x, int32_t y, int u);
void resolveContacts(int u);
// While the ticks of a frame run (from begin to end), contests find their
// opponents through an index of the Alive Units' positions and kin markers.
// It lasts from frame to frame and the simulation keeps it current: place
// reports a Unit that was born, walked or mutated (spawnUnit, the tick and
// the breeding call it), remove one that died (markDead). Code that changes the positions,
// statuses or genomes of the unit table by other means (loading a file,
// planting a genome, a test setting up a world) calls unitTableChanged()
// afterwards, and the index is built again before the next frame's
// contests. Builds with TARN_CHECKED defined check it at every frame.
void beginContactIndex();
void placeInContactIndex(int u);
void endContactIndex();
void unitTableChanged();
// The index's buckets are 16 cells wide: a Unit that walked within one
// (from the cell's coordinates alone) need not be placed again.
constexpr int kContactBucketShift = 4;
inline bool leftContactBucket(int32_t fromX, int32_t fromY, int32_t x, int32_t y) {
  return ((fromX ^ x) | (fromY ^ y)) >> kContactBucketShift != 0;
}

// --- The simulation's state --------------------------------------------
// What the simulation carries from one frame to the next beside the cell
// field, the unit table and the random generator (genome.h). The values
// given here are those of the process start, which resetSimulation puts
// back. The checkpoint, the autosave snapshot and the tests reach the fields
// through forEachStateField, so that a field added here is saved, restored,
// compared and pinned with the others.
struct SimulationState {
  float foodDivisor = 0.0f;        // a bite that eats n cells is worth n / foodDivisor; in the state file
  int32_t livingCount = 0;         // Alive slots at the last count of regulatePopulation
  int32_t reseeding = 1;           // one random Unit joins each running frame; a load clears it
  int32_t generationPhase = 0;     // the Life generation runs in the frames where it is 0
  Genome reseedGenome{};           // the random genome of the last re-seed spawn
  bool reseedGenomeDrawn = false;  // a random genome went into reseedGenome in this run
};
extern SimulationState simulation;

// Calls visit(name, member, low, high, what) for every field of
// SimulationState: name is the field's key in a resume file, member a
// pointer to it, low and high the range of a whole number (0, 0 for the
// others) and what the words an error message names it by.
template <typename Visit>
void forEachStateField(Visit&& visit) {
  static_assert(sizeof(SimulationState) == 4 * 4 + sizeof(Genome) + 4,
                "a field added to SimulationState needs its line below (and then this size)");
  visit("food_divisor_bits", &SimulationState::foodDivisor, 0, 0, "foodDivisor");
  visit("living_count", &SimulationState::livingCount, 0, kMaxUnits + 1, "the living count");
  visit("reseeding", &SimulationState::reseeding, 0, 1, "the re-seeding flag");
  visit("generation_phase", &SimulationState::generationPhase, 0, 2, "the generation phase");
  visit("reseed_genome", &SimulationState::reseedGenome, 0, 0, "the re-seed genome");
  visit("reseed_genome_drawn", &SimulationState::reseedGenomeDrawn, 0, 0, "the re-seed genome's flag");
}

// Whether a and b hold the same values, field by field (a float by its
// bits: -0 and 0 differ, as their texts in a state file do).
inline bool sameSimulationState(const SimulationState& a, const SimulationState& b) {
  bool same = true;
  forEachStateField([&](const char*, auto member, int64_t, int64_t, const char*) {
    same = same && std::memcmp(&(a.*member), &(b.*member), sizeof(a.*member)) == 0;
  });
  return same;
}

// The simulation part of one running frame (units/frame.cpp): the Life
// generation every third frame, reaping, the ticks in slot order, then the
// random sowing event.
void simulateFrame();

// Resets the cell field, the unit table, the simulation's state and the
// count of running frames to their process-start values (the gene table is
// left alone; the random generator is not reseeded; the observers stay).
void resetSimulation();

// --- Population regulation ---------------------------------------------
// The Evolution Level shown to the user: trunc(foodDivisor * 20 - 9).
int32_t evolutionLevel();
void raiseFoodDivisor();
void resetFoodDivisor();
void cullWorld();
void sowAtRandom();
void regulatePopulation();
void clearWorld();
