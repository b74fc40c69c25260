// Population regulation: re-seeding, the cull, the food divisor and its
// level, the random sowing event and the new-simulation clear. Random draws
// are followed with a generator of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "genome/genome.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// The process-wide generator: a 32-bit linear congruential state whose
// bits 16..30 are the raw number, and randomRange on top of it.
struct Draws {
  uint32_t state;
  int32_t raw() {
    state = state * 214013u + 2531011u;
    return (int32_t)((state >> 16) & 0x7FFF);
  }
  int32_t range(int32_t low, int32_t high) {
    float d = (float)(high - low);
    int32_t r = raw();
    return low + (int32_t)std::trunc((double)r / 32767.0 * (double)d);
  }
  // A random genome: one draw per gene from its seed range, in gene order.
  Genome genome() {
    static const int32_t low[kGeneCount] = {1,  1,  80, 80, 1,  100, 1,  80, 10, 2,  14, 400,
                                            200, 50, 2,  1,  100, 1, 1,  10, 10, 10, 10, 10,
                                            10, 10, 10, 10, 10, 10, 10, 10, 50, 10, 3,  5000};
    static const int32_t high[kGeneCount] = {79, 79, 255, 255, 40, 200, 200, 255, 500, 10, 14, 1200,
                                             2000, 50, 6, 40, 150, 79, 79, 20, 25, 25, 25, 25,
                                             15, 25, 15, 15, 15, 25, 25, 25, 200, 80, 30, 10000};
    Genome g;
    for (int k = 0; k < kGeneCount; ++k) g[k] = range(low[k], high[k]);
    return g;
  }
};

// The inverse of one generator step.
uint32_t stepBack(uint32_t state) {
  uint32_t inverse = 214013u;  // Newton's iteration for 214013^-1 mod 2^32
  for (int k = 0; k < 5; ++k) inverse *= 2u - 214013u * inverse;
  return (state - 2531011u) * inverse;
}

Genome plainGenome(int32_t kindAndPattern) {
  Genome g;
  g.fill(1);
  g[6] = 10;
  g[12] = kindAndPattern;
  return g;
}

int aliveCount() {
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u) n += units.status[u] == Alive;
  return n;
}

class RegulationWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    initGeneTable();
    resetSimulation();
    seedRandom(777);
    usePlainPaths = false;
  }
  // n Alive Units in the lowest slots, each with energy 1.
  void populate(int n) {
    for (int k = 0; k < n; ++k) {
      int u = spawnUnit(100 + k % 500, 100, plainGenome(100));
      ASSERT_NE(u, -1);
      units.energy[u] = 1.0f;
    }
  }
};

class Regulation : public RegulationWorld {};
class RegulationCull : public RegulationWorld {};
class RegulationFood : public RegulationWorld {};
class RegulationSowing : public RegulationWorld {};
class RegulationClear : public RegulationWorld {};

}  // namespace

TEST_F(Regulation, EmptyWorldGetsOneUnitPerFrameUntilAboveHundred) {
  Draws draws{777};
  EXPECT_EQ(reseeding, 1);
  EXPECT_EQ(foodDivisor, 0.0f);
  for (int frame = 1; frame <= 101; ++frame) {
    SCOPED_TRACE(frame);
    regulatePopulation();
    Genome expected = draws.genome();
    const int u = frame - 1;
    EXPECT_TRUE(reseedGenome == expected);
    EXPECT_TRUE(units.genome[u] == expected);
    EXPECT_EQ(units.status[u], Alive);
    // Each at its own home anchor, not at (407, 262).
    EXPECT_EQ(units.posX[u], units.homeX[u]);
    EXPECT_EQ(units.posY[u], units.homeY[u]);
    EXPECT_EQ(units.energy[u], (float)((double)expected[6] * 2.3));
    EXPECT_EQ(livingCount, frame);
    EXPECT_EQ(foodDivisor, 0.5f);
    EXPECT_EQ(evolutionLevel(), 1);
    EXPECT_EQ(reseeding, frame <= 100 ? 1 : 0);
    ASSERT_EQ(randomState, draws.state);  // 36 draws a frame, no others
  }
  // Above 100 the re-seeding has stopped: counting only.
  regulatePopulation();
  EXPECT_EQ(units.status[101], Free);
  EXPECT_EQ(livingCount, 101);
  EXPECT_EQ(randomState, draws.state);
}

TEST_F(Regulation, FiveDoNotReseedFourDoOnce) {
  reseeding = 0;
  reseedGenomeDrawn = true;
  reseedGenome = plainGenome(100);
  reseedGenome[6] = 77;
  populate(5);
  foodDivisor = 0.7f;
  uint32_t before = randomState;
  regulatePopulation();
  EXPECT_EQ(livingCount, 5);
  EXPECT_EQ(reseeding, 0);
  EXPECT_EQ(randomState, before);
  EXPECT_EQ(units.status[5], Free);
  EXPECT_EQ(foodDivisor, 0.7f);
  for (int u = 0; u < 5; ++u) EXPECT_EQ(units.energy[u], 1.0f);

  // One dies: the survivors get twice gene 6 of the last re-seed genome,
  // and a new Unit comes in the same frame (into slot 5: the Dead slot 4 is
  // not yet free).
  units.status[4] = Dead;
  Draws draws{randomState};
  regulatePopulation();
  Genome fresh = draws.genome();
  EXPECT_EQ(reseeding, 1);
  EXPECT_EQ(livingCount, 5);
  EXPECT_EQ(foodDivisor, 0.5f);
  for (int u = 0; u < 4; ++u) EXPECT_EQ(units.energy[u], 154.0f);
  EXPECT_EQ(units.energy[4], 1.0f);
  ASSERT_EQ(units.status[5], Alive);
  EXPECT_TRUE(units.genome[5] == fresh);
  EXPECT_EQ(units.energy[5], (float)((double)fresh[6] * 2.3));
  EXPECT_EQ(randomState, draws.state);

  // The reset happens on entering re-seeding only.
  for (int u = 0; u < 4; ++u) units.energy[u] = 3.0f;
  regulatePopulation();
  for (int u = 0; u < 4; ++u) EXPECT_EQ(units.energy[u], 3.0f);
  EXPECT_EQ(units.status[6], Alive);
  EXPECT_EQ(livingCount, 6);
}

TEST_F(Regulation, FirstShrinkOfTheRunDrawsAGenomeForTheEnergy) {
  // As after a load: not re-seeding, and no genome drawn yet in this run.
  reseeding = 0;
  reseedGenomeDrawn = false;
  populate(3);
  Draws draws{randomState};
  regulatePopulation();
  Genome first = draws.genome();
  Genome second = draws.genome();
  for (int u = 0; u < 3; ++u) EXPECT_EQ(units.energy[u], (float)(first[6] * 2));
  EXPECT_TRUE(units.genome[3] == second);
  EXPECT_TRUE(reseedGenome == second);
  EXPECT_TRUE(reseedGenomeDrawn);
  EXPECT_EQ(livingCount, 4);
  EXPECT_EQ(randomState, draws.state);
}

TEST_F(Regulation, ReseedingEndsAboveHundredCountingTheFrameItself) {
  populate(100);
  reseeding = 1;
  regulatePopulation();
  EXPECT_EQ(livingCount, 101);
  EXPECT_EQ(aliveCount(), 101);
  EXPECT_EQ(reseeding, 0);
  regulatePopulation();
  EXPECT_EQ(aliveCount(), 101);
}

TEST_F(RegulationCull, AboveEightHundredCullsUnitsAndCells) {
  reseeding = 0;
  populate(803);
  // 801 Alive: two Dead and one Free slot in between draw nothing.
  units.status[10] = Dead;
  units.status[20] = Free;
  units.status[30] = Dead;
  units.status[803] = Alive;
  ASSERT_EQ(aliveCount(), 801);
  for (int i = 0; i < kCellCount; ++i) editCellGrids().cells[i] = Live, editCellGrids().neighbourCounts[i] = 5;
  foodDivisor = 0.5f;
  Draws draws{randomState};
  regulatePopulation();
  EXPECT_EQ(foodDivisor, 0.55f);
  EXPECT_EQ(evolutionLevel(), 2);
  EXPECT_EQ(livingCount, 801);
  int culled = 0;
  for (int u = 0; u < kMaxUnits; ++u) {
    if (u == 10 || u == 30) {
      EXPECT_EQ(units.status[u], Dead);
      continue;
    }
    if (u == 20 || u > 803) {
      EXPECT_EQ(units.status[u], Free);
      continue;
    }
    bool dies = draws.range(0, 100) > 10;
    culled += dies;
    EXPECT_EQ(units.status[u], dies ? Dead : Alive) << u;
  }
  EXPECT_GT(culled, 650);
  EXPECT_LT(culled, 770);
  int wrong = 0, cleared = 0;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) {
      int i = cellIndex(x, y);
      bool clear = draws.range(0, 100) > 30;
      cleared += clear;
      if (editCellGrids().cells[i] != (clear ? Empty : Live) || editCellGrids().neighbourCounts[i] != (clear ? 0 : 5)) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_NEAR(cleared / (double)kCellCount, 0.69, 0.01);
  EXPECT_EQ(randomState, draws.state);
}

TEST_F(RegulationCull, EightHundredDoNotButAReseedFrameCanTipIt) {
  reseeding = 0;
  populate(800);
  foodDivisor = 0.5f;
  uint32_t before = randomState;
  regulatePopulation();
  EXPECT_EQ(foodDivisor, 0.5f);
  EXPECT_EQ(randomState, before);
  EXPECT_EQ(aliveCount(), 800);
  // Still re-seeding with 800 alive: the new Unit makes 801, which ends
  // the re-seeding and culls in the same frame.
  reseeding = 1;
  foodDivisor = 0.9f;
  regulatePopulation();
  EXPECT_EQ(livingCount, 801);
  EXPECT_EQ(reseeding, 0);
  EXPECT_EQ(foodDivisor, 0.55f);
  EXPECT_LT(aliveCount(), 200);
}

TEST_F(RegulationFood, DivisorStepsAndTheLevel) {
  foodDivisor = 0.0f;
  EXPECT_EQ(evolutionLevel(), -9);
  resetFoodDivisor();
  EXPECT_EQ(foodDivisor, 0.5f);
  EXPECT_EQ(evolutionLevel(), 1);
  raiseFoodDivisor();
  EXPECT_EQ(foodDivisor, 0.55f);  // the float nearest 0.55
  raiseFoodDivisor();
  EXPECT_EQ(foodDivisor, 0.6f);
  // From 0.5, after k single-precision additions of 0.05 the level is k + 1
  // up to k = 12, k from 13 to 84 (13 shows twice), and 86 at 85.
  resetFoodDivisor();
  for (int k = 1; k <= 85; ++k) {
    raiseFoodDivisor();
    int expected = k <= 12 ? k + 1 : (k <= 84 ? k : 86);
    EXPECT_EQ(evolutionLevel(), expected) << k;
  }
  // During re-seeding every frame sets it back to 0.5.
  reseeding = 1;
  raiseFoodDivisor();
  regulatePopulation();
  EXPECT_EQ(foodDivisor, 0.5f);
}

TEST_F(RegulationSowing, FiresOnOneDrawInThirtyAtTheFirstAliveSlot) {
  // Slot 100 sows only (x, y - 1); slot 900 only (x, y + 1).
  Genome a = plainGenome(100), b = plainGenome(900);
  a[21] = 20;
  b[25] = 20;
  units.status[100] = Alive, units.genome[100] = a;
  units.status[900] = Alive, units.genome[900] = b;
  int fired = 0, wrapped = 0, direct = 0, quiet = 0;
  for (uint32_t seed = 1; fired < 60 && seed < 100000; ++seed) {
    seedRandom(seed);
    Draws draws{seed};
    if (draws.range(0, 30) != 1) {
      if (quiet++ < 20) {
        sowAtRandom();
        EXPECT_EQ(randomState, draws.state) << seed;  // one draw, nothing sown
        EXPECT_EQ(editCellGrids().neighbourCounts[cellIndex(400, 300)], 0);
      }
      continue;
    }
    ++fired;
    int start = draws.range(0, 1000);
    if (start == 1000) start = 0;
    int slot = start <= 100 ? 100 : (start <= 900 ? 900 : 100);
    (start > 900 ? wrapped : direct)++;
    int32_t y = draws.range(2, 523);
    int32_t x = draws.range(2, 823);
    sowAtRandom();
    SCOPED_TRACE(seed);
    EXPECT_EQ(randomState, draws.state);
    bool inside = x >= 3 && x <= 822 && y >= 3 && y <= 522;
    int sown = 0;
    for (int i = 0; i < kCellCount; ++i) sown += editCellGrids().neighbourCounts[i] == 3;
    EXPECT_EQ(sown, inside ? 1 : 0);
    if (inside) {
      int32_t& count = editCellGrids().neighbourCounts[cellIndex(x, slot == 100 ? y - 1 : y + 1)];
      EXPECT_EQ(count, 3);
      count = 0;
    }
  }
  EXPECT_EQ(fired, 60);
  EXPECT_GT(wrapped, 0);
  EXPECT_GT(direct, 0);
}

TEST_F(RegulationSowing, TopDrawStartsAtSlotZeroAndNoUnitMeansNoSowing) {
  // A seed whose first draw fires and whose second is the raw maximum
  // 32767, for which randomRange(0, 1000) gives 1000.
  // The sowing point must lie where a pattern can go.
  uint32_t seed = 0;
  int32_t x = 0, y = 0;
  bool found = false;
  for (uint32_t low = 0; low < 0x20000 && !found; ++low) {
    uint32_t second = (low >> 16) << 31 | 0x7FFFu << 16 | (low & 0xFFFF);
    uint32_t candidate = stepBack(stepBack(second));
    Draws check{candidate};
    if (check.range(0, 30) != 1 || check.range(0, 1000) != 1000) continue;
    y = check.range(2, 523);
    x = check.range(2, 823);
    if (x >= 3 && x <= 822 && y >= 3 && y <= 522) seed = candidate, found = true;
  }
  ASSERT_TRUE(found);
  Draws draws{seed};
  for (int k = 0; k < 4; ++k) draws.raw();
  // Slot 0 sows (x, y - 1), slot 999 (x, y + 1): the start is slot 0.
  Genome a = plainGenome(100), b = plainGenome(900);
  a[21] = 20;
  b[25] = 20;
  units.status[0] = Alive, units.genome[0] = a;
  units.status[999] = Alive, units.genome[999] = b;
  seedRandom(seed);
  sowAtRandom();
  EXPECT_EQ(editCellGrids().neighbourCounts[cellIndex(x, y - 1)], 3);
  EXPECT_EQ(editCellGrids().neighbourCounts[cellIndex(x, y + 1)], 0);
  EXPECT_EQ(randomState, draws.state);

  // No Unit alive (Dead ones do not count): two draws, nothing sown.
  clearField();
  resetUnitTable();
  units.status[0] = Dead, units.genome[0] = a;
  seedRandom(seed);
  Draws two{seed};
  two.raw();
  two.raw();
  sowAtRandom();
  EXPECT_EQ(randomState, two.state);
  int sown = 0;
  for (int i = 0; i < kCellCount; ++i) sown += editCellGrids().neighbourCounts[i] != 0;
  EXPECT_EQ(sown, 0);
}

TEST_F(RegulationClear, EverySlotDeadAndTheFieldEmptyThenReseeded) {
  populate(30);
  units.status[7] = Dead;
  for (int i = 0; i < kCellCount; i += 3) {
    editCellGrids().cells[i] = i % 2 ? Live : Dormant;
    editCellGrids().neighbourCounts[i] = 4;
    editCellGrids().nextCells[i] = 8;
    editCellGrids().skipRuns[i] = 2;
  }
  markClaim(10, 10);
  markClaim(500, 400);
  reseeding = 0;
  reseedGenomeDrawn = true;
  clearWorld();
  for (int u = 0; u < kMaxUnits; ++u) ASSERT_EQ(units.status[u], Dead) << u;
  int leftover = 0, kept = 0;
  for (int i = 0; i < kCellCount; ++i) {
    leftover += editCellGrids().cells[i] != 0 || editCellGrids().neighbourCounts[i] != 0;
    if (i % 3 == 0) kept += editCellGrids().nextCells[i] == 8 && editCellGrids().skipRuns[i] == 2;
  }
  EXPECT_EQ(leftover, 0);
  EXPECT_EQ(kept, (kCellCount + 2) / 3);
  EXPECT_EQ(editCellGrids().claimMarks[cellIndex(10, 10)], 1);
  EXPECT_EQ(editCellGrids().claimMarks[cellIndex(500, 400)], 1);

  // In the same frame: nobody alive, re-seeding starts, no slot is free,
  // and the count still goes up by one.
  regulatePopulation();
  EXPECT_EQ(reseeding, 1);
  EXPECT_EQ(livingCount, 1);
  EXPECT_EQ(aliveCount(), 0);
  EXPECT_EQ(foodDivisor, 0.5f);
  // The next frame reaps, and the spawn lands in slot 0 at its home.
  reapDead();
  regulatePopulation();
  EXPECT_EQ(aliveCount(), 1);
  EXPECT_EQ(units.status[0], Alive);
  EXPECT_EQ(units.posX[0], units.homeX[0]);
  EXPECT_EQ(livingCount, 1);
}
