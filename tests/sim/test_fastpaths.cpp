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
    swapFields(field, plain);
    stepGenerationPlain();
    swapFields(field, plain);
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
            field.claimMarks[cellIndex(x, y)] = 1;
            touchCells(x, y, 0);
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
