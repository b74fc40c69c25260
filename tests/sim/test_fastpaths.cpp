// The fast paths of the simulation against their plain versions: the same
// grids, targets, winners and state files, whatever the field holds.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

struct Lcg {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u, s >> 8; }
};

// The field is too large for the stack: swap through a static copy.
void swapFields(CellField& a, CellField& b) {
  static CellField spare;
  std::memcpy(&spare, &a, sizeof a);
  std::memcpy(&a, &b, sizeof a);
  std::memcpy(&b, &spare, sizeof a);
}

bool sameField(const CellField& a, const CellField& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string firstDifference(const CellField& a, const CellField& b) {
  const char* names[] = {"cells", "nextCells", "neighbourCounts", "claimMarks", "skipRuns"};
  const int32_t* ga[] = {a.cells, a.nextCells, a.neighbourCounts, a.claimMarks, a.skipRuns};
  const int32_t* gb[] = {b.cells, b.nextCells, b.neighbourCounts, b.claimMarks, b.skipRuns};
  for (int g = 0; g < 5; ++g)
    for (int i = 0; i < kCellCount; ++i)
      if (ga[g][i] != gb[g][i])
        return std::string(names[g]) + " at (" + std::to_string(i / kWorldHeight) + ", " +
               std::to_string(i % kWorldHeight) + "): " + std::to_string(ga[g][i]) + " vs " + std::to_string(gb[g][i]);
  return "none";
}

// Runs a number of steps both ways from the same field, with the changes
// Units make between steps, and compares every grid after each step.
void compareSteps(const CellField& start, uint32_t seed, int steps) {
  static CellField plain;
  plain = start;
  field = start;
  touchField();
  Lcg rng{seed};
  for (int s = 0; s < steps; ++s) {
    // The plain passes forget what the fast step knows about the field;
    // keep that for the fast copy.
    static FieldActivity known;
    known = activity;
    swapFields(field, plain);
    stepGenerationPlain();
    swapFields(field, plain);
    activity = known;
    stepGeneration();
    ASSERT_TRUE(sameField(field, plain)) << "step " << s << ": " << firstDifference(field, plain);
    // Between steps: bites, sowing and claims, made alike on both copies.
    uint32_t opsSeed = rng.next();
    for (int copy = 0; copy < 2; ++copy) {
      swapFields(field, plain);
      Lcg ops{opsSeed};
      for (int k = 0; k < 40; ++k) {
        int x = (int)(ops.next() % kWorldWidth), y = (int)(ops.next() % kWorldHeight);
        switch (ops.next() % 3) {
          case 0:
            eatAt(x, y);
            break;
          case 1:
            units.status[0] = Alive;
            units.genome[0].fill(20);
            sowPattern(x, y, 0);
            break;
          default:
            markClaim(x, y);
        }
      }
    }
  }
}

class FastStep : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSimulation();
    foodDivisor = 0.5f;
    start = std::make_unique<CellField>();
    std::memset(start.get(), 0, sizeof *start);
  }
  std::unique_ptr<CellField> start;
};

}  // namespace

TEST_F(FastStep, DenseSoupMatchesThePlainPasses) {
  Lcg rng{1};
  for (int i = 0; i < kCellCount; ++i) start->cells[i] = rng.next() % 100 < 35 ? Live : Empty;
  // Counts as a previous step would have left them: one plain step.
  field = *start;
  stepGenerationPlain();
  compareSteps(field, 2, 30);
}

TEST_F(FastStep, SparseIslandsAndEdges) {
  // Gliders and blinkers near every edge and corner, on an empty field.
  int spots[][2] = {{0, 0}, {823, 0}, {0, 523}, {822, 522}, {400, 0}, {0, 260}, {412, 262}, {824, 100}};
  for (auto& p : spots) {
    for (int d = 0; d < 3; ++d) start->cells[cellIndex(std::min(p[0] + d, 824), p[1])] = Live;
    start->cells[cellIndex(p[0], std::min(p[1] + 1, 524))] = Live;
  }
  field = *start;
  stepGenerationPlain();
  compareSteps(field, 3, 60);
}

TEST_F(FastStep, AnythingALoadedFileHolds) {
  // Every state, unnamed ones too, counts of any size and sign, stale marks
  // and runs.
  Lcg rng{7};
  for (int i = 0; i < kCellCount; ++i) {
    uint32_t r = rng.next();
    static const int32_t states[] = {0, 0, 0, 1, 1, -1, 8, 5, -7, 2, 0, 0};
    start->cells[i] = states[r % 12];
    start->nextCells[i] = (int32_t)(rng.next() % 11) - 5;
    start->neighbourCounts[i] = (int32_t)(rng.next() % 9) - 2;
    start->claimMarks[i] = rng.next() % 5 == 0;
    start->skipRuns[i] = (int32_t)(rng.next() % 1000) - 100;
  }
  compareSteps(*start, 8, 20);
  // And a mostly empty field with stale scratch values.
  std::memset(start.get(), 0, sizeof *start);
  for (int i = 0; i < kCellCount; i += 997) start->skipRuns[i] = 77, start->nextCells[i] = 8;
  compareSteps(*start, 9, 10);
}

namespace {

std::string stateText(const char* name) {
  EXPECT_TRUE(saveState(name));
  std::FILE* f = std::fopen(name, "rb");
  std::string text;
  char buffer[1 << 16];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  std::remove(name);
  return text;
}

// Runs frames from the world in `start` (or from an empty one), the plain
// way or the fast way, and returns the state file at the end.
std::string runFrom(const char* start, uint32_t seed, int frames, bool plain) {
  initGeneTable();
  resetSimulation();
  if (start) loadState(start);
  seedRandom(seed);
  usePlainPaths = plain;
  for (int i = 0; i < frames; ++i) {
    simulateFrame();
    regulatePopulation();
  }
  usePlainPaths = false;
  return stateText("fastpaths-run.sav");
}

}  // namespace

TEST(FastRun, SameStateFileAsThePlainWayFromAnEmptyWorld) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::string plain = runFrom(nullptr, seed, 1500, true);
    std::string fast = runFrom(nullptr, seed, 1500, false);
    EXPECT_TRUE(plain == fast) << "seed " << seed;
  }
}

TEST(FastRun, SameStateFileAsThePlainWayFromHostileWorlds) {
  // A crowded world, then the same world with values no run produces:
  // Units far outside the field, huge reaches and radii, odd modes and
  // cell states.
  initGeneTable();
  resetSimulation();
  seedRandom(11);
  for (int i = 0; i < 1200; ++i) simulateFrame(), regulatePopulation();
  ASSERT_TRUE(saveState("fastpaths-crowded.sav"));
  Lcg rng{5};
  for (int u = 0; u < kMaxUnits; u += 7) {
    units.status[u] = Alive;
    units.posX[u] = (int32_t)(rng.next() % 3 == 0 ? rng.next() * 511u : rng.next() % 900) - 40;
    units.posY[u] = (int32_t)(rng.next() % 600) - 40;
    units.genome[u][19] = (int32_t)(rng.next() % 5 == 0 ? rng.next() * 97u : rng.next() % 400);
    units.genome[u][12] = (int32_t)(rng.next() * 13u);
    units.searchRadius[u] = (int32_t)(rng.next() * 31u);
    units.mode[u] = (int32_t)(rng.next() % 7) - 1;
    units.energy[u] = (float)(rng.next() % 5000) - 100.0f;
  }
  for (int i = 0; i < kCellCount; i += 13) field.cells[i] = (int32_t)(rng.next() % 12) - 2;
  // Units at the very limits of the coordinates, beside ones in the field:
  // the distance of any pair must be formed without overflow.
  const int32_t limits[][2] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {0, INT32_MAX}, {INT32_MIN, 0},
                               {INT32_MAX, INT32_MAX}, {400, 300}};
  for (int k = 0; k < 6; ++k) {
    const int u = 1 + k;
    units.status[u] = Alive;
    units.posX[u] = limits[k][0];
    units.posY[u] = limits[k][1];
    units.genome[u][19] = k % 2 ? INT32_MAX : INT32_MIN;
    units.genome[u][12] = k % 2 ? INT32_MIN : INT32_MAX;
    units.energy[u] = k % 2 ? 3.0e38f : -3.0e38f;
  }
  ASSERT_TRUE(saveState("fastpaths-hostile.sav"));
  for (const char* world : {"fastpaths-crowded.sav", "fastpaths-hostile.sav"}) {
    std::string plain = runFrom(world, 4, 400, true);
    std::string fast = runFrom(world, 4, 400, false);
    EXPECT_TRUE(plain == fast) << world;
    std::remove(world);
  }
}
