// The unit table, the tick, foraging, eating, sowing and contests, checked
// against values worked out by hand from the rules of a Unit's life.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "genome/genome.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

// A genome whose Unit does nothing on its own: it walks one cell per tick,
// walks for free, never farms, never fights, never sows, never turns
// Outward and lives long. Tests change the genes they look at.
Genome quietGenome() {
  Genome g;
  g.fill(1);
  g[0] = g[1] = g[17] = g[18] = 40;
  g[4] = 3;
  g[5] = 1000;
  g[6] = 10;
  g[8] = 1000;
  g[9] = 4;
  g[10] = 0;
  g[11] = 0;
  g[12] = 1000;
  g[13] = 50;
  g[16] = 0;
  g[19] = 0;
  g[32] = 0;
  g[33] = 0;
  g[35] = 50000;
  return g;
}

void setCell(int x, int y, int32_t state) { editCellGrids().cells[cellIndex(x, y)] = state; }
int32_t cellAt(int x, int y) { return editCellGrids().cells[cellIndex(x, y)]; }
int32_t countAt(int x, int y) { return editCellGrids().neighbourCounts[cellIndex(x, y)]; }
int32_t markAt(int x, int y) { return editCellGrids().claimMarks[cellIndex(x, y)]; }

int32_t liveNeighbours(int x, int y) {
  int32_t n = 0;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      if ((dx || dy) && inField(x + dx, y + dy) && cellAt(x + dx, y + dy) == Live) ++n;
  return n;
}

// Counts as a generation step leaves them: the live neighbours of each cell.
void recountNeighbours() {
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) editCellGrids().neighbourCounts[cellIndex(x, y)] = liveNeighbours(x, y);
}

struct Lcg {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u, s >> 8; }
};

// Every test starts from the process-start world with the gene table
// filled and food worth 2 energy a cell.
class UnitWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    initGeneTable();
    resetSimulation();
    seedRandom(12345);
    foodDivisor = 0.5f;
    usePlainPaths = false;
    endContactIndex();
  }
  void TearDown() override {
    usePlainPaths = false;
    endContactIndex();
  }

  // A Unit of the given genome in the lowest free slot, standing at (x, y)
  // with both anchors and its target moved to where the test wants them.
  int place(const Genome& g, int32_t x, int32_t y, int32_t mode, float energy) {
    int u = spawnUnit(x, y, g);
    EXPECT_NE(u, -1);
    units.mode[u] = mode;
    units.energy[u] = energy;
    units.targetX[u] = x;
    units.targetY[u] = y;
    units.paceCounter[u] = 0;
    return u;
  }
  void setHome(int u, int32_t x, int32_t y) { units.homeX[u] = x, units.homeY[u] = y; }
  void setAway(int u, int32_t x, int32_t y) { units.awayX[u] = x, units.awayY[u] = y; }
};

class SpawnUnit : public UnitWorld {};
class UnitAnchors : public UnitWorld {};
class UnitReap : public UnitWorld {};
class TickDeath : public UnitWorld {};
class TickPace : public UnitWorld {};
class TickMovement : public UnitWorld {};
class TickBreed : public UnitWorld {};
class TickFarming : public UnitWorld {};
class TickModes : public UnitWorld {};
class ForageSearch : public UnitWorld {};
class ForageEat : public UnitWorld {};
class SowPattern : public UnitWorld {};
class Contest : public UnitWorld {};

UnitTable tableCopy;  // too large for the stack

}  // namespace

// --- Spawning -----------------------------------------------------------

TEST_F(SpawnUnit, TakesTheLowestFreeSlotAndSetsEveryField) {
  units.status[0] = Alive;
  units.status[1] = Dead;
  units.status[2] = Alive;
  units.status[4] = Alive;
  // Slot 3 is Free but keeps what its previous occupant left.
  units.posX[3] = 1;
  units.targetX[3] = 77;
  units.targetY[3] = 88;
  units.mode[3] = Breed;
  units.searchRadius[3] = 999;
  units.sowTimer[3] = 2;
  units.age[3] = 500;
  units.stock[3] = 40;
  units.paceCounter[3] = 7;
  units.pacePeriod[3] = 9;
  units.spareA[3] = 5;
  units.spareB[3] = 6;
  for (int k = 0; k < kMemoryLength; ++k) units.memory[3][k] = 4;
  units.energy[3] = 3.0f;

  Genome g = quietGenome();
  g[6] = 100;
  g[0] = 79;
  g[1] = 1;
  g[17] = 80;
  g[18] = 79;
  // The position is taken as given, far outside the field too.
  ASSERT_EQ(spawnUnit(-7, 9999, g), 3);
  EXPECT_EQ(units.posX[3], -7);
  EXPECT_EQ(units.posY[3], 9999);
  EXPECT_EQ(units.targetX[3], 0);
  EXPECT_EQ(units.targetY[3], 0);
  EXPECT_EQ(units.mode[3], Homeward);
  EXPECT_EQ(units.searchRadius[3], 20);
  EXPECT_EQ(units.sowTimer[3], 0);
  EXPECT_EQ(units.stock[3], 0);
  EXPECT_EQ(units.status[3], Alive);
  EXPECT_EQ(units.age[3], 0);
  EXPECT_EQ(units.spareA[3], 0);
  EXPECT_TRUE(units.genome[3] == g);
  for (int k = 0; k < kMemoryLength; ++k) EXPECT_EQ(units.memory[3][k], -1);
  EXPECT_EQ(units.energy[3], 230.0f);
  // Untouched by a birth.
  EXPECT_EQ(units.paceCounter[3], 7);
  EXPECT_EQ(units.pacePeriod[3], 9);
  EXPECT_EQ(units.spareB[3], 6);
  // Anchors from genes 0, 1, 17, 18: 814.6875, 6.5625 raised to 10, 825
  // lowered to 815, 518.4375 lowered to 515.
  EXPECT_EQ(units.homeX[3], 814);
  EXPECT_EQ(units.homeY[3], 10);
  EXPECT_EQ(units.awayX[3], 815);
  EXPECT_EQ(units.awayY[3], 515);

  // The Dead slot 1 is not reused before it is reaped; the next free is 5.
  g[6] = 1;
  ASSERT_EQ(spawnUnit(0, 0, g), 5);
  EXPECT_EQ(units.energy[5], 2.3f);  // the float nearest 2.3
  EXPECT_EQ(units.status[1], Dead);

  // A slot freed low in the table is taken before the free ones above.
  units.status[2] = Free;
  EXPECT_EQ(spawnUnit(0, 0, g), 2);
  EXPECT_EQ(spawnUnit(0, 0, g), 6);
}

TEST_F(SpawnUnit, FullTableReturnsMinusOneAndChangesNothing) {
  for (int u = 0; u < kMaxUnits; ++u) {
    units.status[u] = u % 3 == 0 ? Dead : Alive;
    units.posX[u] = u;
    units.energy[u] = (float)u;
  }
  tableCopy = units;
  EXPECT_EQ(spawnUnit(5, 5, quietGenome()), -1);
  EXPECT_EQ(std::memcmp(&tableCopy, &units, sizeof units), 0);
}

TEST_F(UnitAnchors, FromGenesWithClamps) {
  struct Case { int32_t gene, x, y; };
  const Case cases[] = {
      {1, 10, 10},       // 10.3125 and 6.5625, raised to 10
      {2, 20, 13},       // 20.625 and 13.125
      {40, 412, 262},    // 412.5 and 262.5
      {79, 814, 515},    // 814.6875 and 518.4375 lowered
      {80, 815, 515},    // 825 and 525, both lowered
      {200, 815, 515},   // 2062.5 and 1312.5
      {0, 10, 10},       // from a file
      {-5, 10, 10},
      {kIntMax, 815, 515},
      {kIntMin, 10, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gene);
    resetUnitTable();
    Genome g = quietGenome();
    g[0] = g[1] = g[17] = g[18] = c.gene;
    int u = spawnUnit(0, 0, g);
    ASSERT_EQ(u, 0);
    EXPECT_EQ(units.homeX[u], c.x);
    EXPECT_EQ(units.homeY[u], c.y);
    EXPECT_EQ(units.awayX[u], c.x);
    EXPECT_EQ(units.awayY[u], c.y);
  }
  // Each anchor reads its own pair of genes only.
  resetUnitTable();
  int u = spawnUnit(0, 0, quietGenome());
  units.genome[u][0] = 2;
  units.genome[u][1] = 79;
  computeHomeAnchor(u);
  EXPECT_EQ(units.homeX[u], 20);
  EXPECT_EQ(units.homeY[u], 515);
  EXPECT_EQ(units.awayX[u], 412);
  EXPECT_EQ(units.awayY[u], 262);
  units.genome[u][17] = 1;
  units.genome[u][18] = 2;
  computeAwayAnchor(u);
  EXPECT_EQ(units.awayX[u], 10);
  EXPECT_EQ(units.awayY[u], 13);
  EXPECT_EQ(units.homeX[u], 20);
}

TEST_F(UnitReap, FreesDeadSlotsAndTouchesNothingElse) {
  for (int u = 0; u < kMaxUnits; ++u) {
    units.status[u] = u % 3 == 0 ? Dead : (u % 3 == 1 ? Alive : Free);
    units.posX[u] = u * 7;
    units.age[u] = u;
    units.energy[u] = (float)u / 4.0f;
    units.genome[u].fill(u);
  }
  tableCopy = units;
  reapDead();
  for (int u = 0; u < kMaxUnits; ++u)
    if (tableCopy.status[u] == Dead) tableCopy.status[u] = Free;
  EXPECT_EQ(std::memcmp(&tableCopy, &units, sizeof units), 0);
  // Without Dead slots nothing changes.
  reapDead();
  EXPECT_EQ(std::memcmp(&tableCopy, &units, sizeof units), 0);
}

// --- The tick: death rules ----------------------------------------------

TEST_F(TickDeath, AgeBeyondLifespan) {
  Genome g = quietGenome();
  g[35] = 100;
  int young = place(g, 100, 100, Homeward, 50.0f);
  int old = place(g, 300, 300, Homeward, 50.0f);
  setHome(young, 100, 100);
  setHome(old, 300, 300);
  units.age[young] = 99;
  units.age[old] = 100;
  tickUnit(young);
  tickUnit(old);
  EXPECT_EQ(units.age[young], 100);
  EXPECT_EQ(units.status[young], Alive);
  EXPECT_EQ(units.age[old], 101);
  EXPECT_EQ(units.status[old], Dead);
}

TEST_F(TickDeath, NoEnergyDiesButLivesOutTheTick) {
  Genome g = quietGenome();
  g[10] = 14;
  // Energy 0: marked Dead, still walks one cell and eats there, and pays
  // nothing for the step.
  int starved = place(g, 100, 100, Homeward, 0.0f);
  setHome(starved, 110, 100);
  int weak = place(g, 100, 200, Homeward, 0.5f);
  setHome(weak, 110, 200);
  int negative = place(g, 100, 300, Homeward, -3.0f);
  setHome(negative, 110, 300);
  setCell(101, 100, Live);
  setCell(101, 200, Live);
  for (int u : {starved, weak, negative}) tickUnit(u);
  EXPECT_EQ(units.status[starved], Dead);
  EXPECT_EQ(units.posX[starved], 101);
  EXPECT_EQ(units.energy[starved], 2.0f);
  EXPECT_EQ(units.stock[starved], 2);
  EXPECT_EQ(cellAt(101, 100), Empty);
  // Energy above 0 survives the check; the step costs 1 x 14 / 60.
  EXPECT_EQ(units.status[weak], Alive);
  EXPECT_EQ(units.energy[weak], (float)((double)(float)(0.5 - 14.0 / 60.0) + 2.0));
  EXPECT_EQ(units.status[negative], Dead);
  EXPECT_EQ(units.energy[negative], -3.0f);
}

TEST_F(TickDeath, FailedSearchGrowsTheRadiusOrKills) {
  // Forage on an empty field, every tick a search tick.
  struct Case { int32_t radius, after; bool dies; };
  const Case cases[] = {
      {825, 825, true},   {5000, 5000, true}, {824, 2482, false},    {0, 10, false},
      {1, 13, false},     {-5, -5, false},    {-6, -8, false},       {-59, -167, false},
      // The growth wraps in 32 bits: -1e9 * 3 + 10 is 1294967306.
      {-1000000000, 1294967306, false},
      {kIntMin, 10 + kIntMin, false},  // 3 * INT32_MIN wraps to INT32_MIN
  };
  Genome g = quietGenome();
  g[10] = 14;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radius);
    resetUnitTable();
    int u = place(g, 100, 100, Forage, 50.0f);
    units.targetX[u] = 300;
    units.targetY[u] = 300;
    units.searchRadius[u] = c.radius;
    units.paceCounter[u] = c.radius > 30 ? c.radius / 30 : 0;
    tickUnit(u);
    EXPECT_EQ(units.searchRadius[u], c.after);
    EXPECT_EQ(units.status[u], c.dies ? Dead : Alive);
    EXPECT_EQ(units.paceCounter[u], 0);
    // The tick ended at the failed search: no move, no cost, no mode change.
    EXPECT_EQ(units.posX[u], 100);
    EXPECT_EQ(units.posY[u], 100);
    EXPECT_EQ(units.energy[u], 50.0f);
    EXPECT_EQ(units.mode[u], Forage);
    EXPECT_EQ(units.targetX[u], 300);
  }
}

// --- The tick: pacing ---------------------------------------------------

TEST_F(TickPace, PeriodFromTheRadius) {
  struct Case { int32_t radius, period; };
  const Case cases[] = {{30, 0}, {31, 1}, {59, 1}, {60, 2}, {119, 3}, {825, 27}, {20, 0}, {-100, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radius);
    resetUnitTable();
    int u = place(quietGenome(), 100, 100, Homeward, 50.0f);
    setHome(u, 100, 100);
    units.searchRadius[u] = c.radius;
    tickUnit(u);
    EXPECT_EQ(units.pacePeriod[u], c.period);
  }
}

TEST_F(TickPace, ForagerSearchesOnOneTickInFour) {
  // Radius 119: period 3. The Unit stands on its old target; a Live cell
  // lies on ring 1. The shrink by 2 a tick keeps the period at 3.
  int u = place(quietGenome(), 100, 100, Forage, 50.0f);
  units.searchRadius[u] = 119;
  setCell(99, 100, Live);
  for (int t = 0; t < 3; ++t) tickUnit(u);
  EXPECT_EQ(markAt(99, 100), 0);
  EXPECT_EQ(units.targetX[u], 100);
  EXPECT_EQ(units.searchRadius[u], 113);
  EXPECT_EQ(units.paceCounter[u], 3);
  EXPECT_EQ(units.posX[u], 100);

  tickUnit(u);  // the search tick
  EXPECT_EQ(units.paceCounter[u], 0);
  EXPECT_EQ(markAt(99, 100), 1);
  EXPECT_EQ(units.targetX[u], 99);
  EXPECT_EQ(units.targetY[u], 100);
  EXPECT_EQ(units.posX[u], 99);  // stepX 1, stepY 1 * (0 / 1)
  EXPECT_EQ(units.posY[u], 100);
  EXPECT_EQ(units.searchRadius[u], 112);
  EXPECT_EQ(cellAt(99, 100), Empty);
  EXPECT_EQ(units.energy[u], 52.0f);
  EXPECT_EQ(units.stock[u], 2);
  EXPECT_EQ(units.mode[u], Forage);
}

// --- The tick: steps, moves and costs -----------------------------------

TEST_F(TickMovement, StepSizesMoveAndCost) {
  // From (10, 10) towards (40, 20) with gene 8 = 5 and gene 9 = 4: both axes
  // take the long step, y is scaled by 10/30 to 1.3333334.
  Genome g = quietGenome();
  g[8] = 5;
  g[9] = 4;
  g[10] = 14;
  int u = place(g, 10, 10, Homeward, 100.0f);
  setHome(u, 40, 20);
  units.searchRadius[u] = 25;
  tickUnit(u);
  EXPECT_EQ(units.posX[u], 14);
  EXPECT_EQ(units.posY[u], 11);
  // 100 - 5.3333334 * 14 / 60, stored as float.
  EXPECT_EQ(units.energy[u], 98.75555419921875f);
  EXPECT_EQ(units.searchRadius[u], 19);  // trunc(25 - 5.3333334)
  EXPECT_EQ(units.mode[u], Homeward);

  // Standing on the target still costs the two unit steps, and a radius
  // of 20 does not shrink.
  resetUnitTable();
  u = place(g, 40, 20, Homeward, 100.0f);
  setHome(u, 40, 20);
  units.searchRadius[u] = 25;
  int v = place(g, 50, 50, Homeward, 100.0f);
  setHome(v, 50, 50);
  tickUnit(u);
  tickUnit(v);
  EXPECT_EQ(units.searchRadius[u], 23);
  EXPECT_EQ(units.energy[u], 99.53333282470703f);
  EXPECT_EQ(units.searchRadius[v], 20);
}

TEST_F(TickMovement, FractionalStepsTruncateTowardZero) {
  Genome g = quietGenome();
  // x distance 1, y distance 2: stepX = 0.5.
  int down = place(g, 10, 10, Homeward, 50.0f);
  setHome(down, 9, 12);
  int up = place(g, 10, 10, Homeward, 50.0f);
  setHome(up, 11, 12);
  int negative = place(g, -30, 10, Homeward, 50.0f);
  setHome(negative, -31, 12);
  for (int u : {down, up, negative}) tickUnit(u);
  EXPECT_EQ(units.posX[down], 9);  // trunc(9.5)
  EXPECT_EQ(units.posY[down], 11);
  EXPECT_EQ(units.posX[up], 10);   // trunc(10.5): no move
  EXPECT_EQ(units.posY[up], 11);
  EXPECT_EQ(units.posX[negative], -30);  // trunc(-30.5), not -31
  EXPECT_EQ(units.posY[negative], 11);
}

TEST_F(TickMovement, OvershootTakenBackUndershootKept) {
  Genome g = quietGenome();
  g[8] = 2;
  g[9] = 10;
  int over = place(g, 10, 50, Homeward, 50.0f);
  setHome(over, 15, 50);
  for (int t = 0; t < 3; ++t) {
    tickUnit(over);
    EXPECT_EQ(units.posX[over], 10);  // 20, then back to 10
    EXPECT_EQ(units.posY[over], 50);
  }
  g[9] = 40;
  int under = place(g, 10, 60, Homeward, 50.0f);
  setHome(under, 1, 60);
  tickUnit(under);
  EXPECT_EQ(units.posX[under], -30);
  EXPECT_EQ(units.posY[under], 60);
}

TEST_F(TickMovement, FarCoordinatesSaturateAndMeasureExactly) {
  Genome g = quietGenome();
  g[8] = 2;
  g[9] = 40;
  int right = place(g, 2147483640, 50, Homeward, 50.0f);
  setHome(right, kIntMax, 50);
  int left = place(g, -2147483640, 60, Homeward, 50.0f);
  setHome(left, kIntMin, 60);
  // The axis distance from INT32_MIN to INT32_MAX is 4294967295, not 1.
  int across = place(g, kIntMin, 70, Homeward, 50.0f);
  setHome(across, kIntMax, 70);
  // A huge radius shrinks by the step sum without wrapping.
  int still = place(g, 100, 100, Homeward, 50.0f);
  setHome(still, 100, 100);
  units.searchRadius[still] = kIntMax;
  for (int u : {right, left, across, still}) tickUnit(u);
  EXPECT_EQ(units.posX[right], kIntMax);
  EXPECT_EQ(units.posX[left], kIntMin);
  EXPECT_EQ(units.posX[across], kIntMin + 40);
  EXPECT_EQ(units.searchRadius[still], kIntMax - 2);
}

TEST_F(TickMovement, RadiusShrinkHasNoFloorAndTruncatesTowardZero) {
  // stepX 40, stepY 1 * (1 / 80) = 0.0125: 21 - 40.0125 gives -19.
  Genome g = quietGenome();
  g[8] = 2;
  g[9] = 40;
  int u = place(g, 100, 100, Homeward, 50.0f);
  setHome(u, 180, 101);
  units.searchRadius[u] = 21;
  tickUnit(u);
  EXPECT_EQ(units.searchRadius[u], -19);
  EXPECT_EQ(units.posX[u], 140);
  EXPECT_EQ(units.posY[u], 100);
}

// --- The tick: breeding -------------------------------------------------

namespace {
// A genome that passes the viability checks with room to spare.
Genome breederGenome() {
  Genome g = quietGenome();
  g[10] = 14;
  g[11] = 1200;
  g[16] = 100;
  g[32] = 50;
  g[19] = 1;
  g[33] = 5;
  g[17] = g[18] = 10;
  return g;
}
}  // namespace

TEST_F(TickBreed, BreedsAtHomeOnASearchTick) {
  Genome g = breederGenome();
  // Home (412, 262) from genes 0 and 1.
  int u = place(g, 412, 262, Breed, 500.0f);
  units.stock[u] = 60;
  tickUnit(u);
  ASSERT_EQ(units.status[1], Alive);
  EXPECT_EQ(units.posX[1], 407);
  EXPECT_EQ(units.posY[1], 257);
  EXPECT_EQ(units.mode[1], Homeward);
  EXPECT_EQ(units.homeX[1], 412);
  EXPECT_EQ(units.homeY[1], 262);
  EXPECT_EQ(units.awayX[1], 103);
  EXPECT_EQ(units.awayY[1], 65);
  EXPECT_EQ(units.energy[1], 23.0f);
  EXPECT_EQ(units.genome[1][10], 14);
  EXPECT_EQ(units.genome[1][13], 50);
  EXPECT_EQ(units.stock[u], 0);
  // Stock 0 < 50 sends the parent foraging; 500 is below gene 5.
  EXPECT_EQ(units.mode[u], Forage);
  EXPECT_EQ(units.energy[u], (float)(500.0 - 2.0 * (14.0 / 60.0)));
}

TEST_F(TickBreed, FullTableOrSkippedTick) {
  Genome g = breederGenome();
  int u = place(g, 412, 262, Breed, 500.0f);
  units.stock[u] = 60;
  for (int i = 1; i < kMaxUnits; ++i) units.status[i] = Alive;
  uint32_t before = randomState;
  tickUnit(u);
  // No offspring, no mutation drawn, and the stock is gone all the same.
  EXPECT_EQ(randomState, before);
  EXPECT_EQ(units.stock[u], 0);

  // On a tick skipped by pacing the Unit neither breeds nor looks home.
  resetUnitTable();
  u = place(g, 412, 262, Breed, 500.0f);
  units.stock[u] = 60;
  units.searchRadius[u] = 31;
  units.targetX[u] = 300;
  units.targetY[u] = 300;
  tickUnit(u);
  EXPECT_EQ(units.status[1], Free);
  EXPECT_EQ(units.stock[u], 60);
  EXPECT_EQ(units.targetX[u], 300);
  EXPECT_EQ(units.targetY[u], 300);
  EXPECT_EQ(units.posX[u], 411);
  EXPECT_EQ(units.mode[u], Breed);
}

// --- The tick: farming --------------------------------------------------

namespace {
Genome farmerGenome() {
  Genome g = quietGenome();
  for (int k = 20; k <= 31; ++k) g[k] = 13;
  g[11] = 10;
  g[6] = 0;
  return g;
}
void zeroCountsAround(int x, int y) {
  for (int cx = x - 3; cx <= x + 3; ++cx)
    for (int cy = y - 3; cy <= y + 3; ++cy) editCellGrids().neighbourCounts[cellIndex(cx, cy)] = 0;
}
}  // namespace

TEST_F(TickFarming, SowTimerCycles) {
  int u = place(farmerGenome(), 200, 200, Homeward, 100.0f);
  setHome(u, 200, 200);
  const float expectedEnergy[] = {88.0f, 88.0f, 88.0f, 76.0f, 76.0f};
  const int expectedTimer[] = {1, 2, 0, 1, 2};
  const bool sows[] = {true, false, false, true, false};
  for (int t = 0; t < 5; ++t) {
    SCOPED_TRACE(t);
    zeroCountsAround(200, 200);
    tickUnit(u);
    EXPECT_EQ(units.energy[u], expectedEnergy[t]);
    EXPECT_EQ(units.sowTimer[u], expectedTimer[t]);
    EXPECT_EQ(countAt(199, 199), sows[t] ? 3 : 0);
    EXPECT_EQ(countAt(202, 200), sows[t] ? 3 : 0);
    EXPECT_EQ(units.mode[u], Homeward);
  }
  // Gene 4 = 1 sows on every farming tick.
  units.genome[u][4] = 1;
  units.sowTimer[u] = 0;
  for (int t = 0; t < 3; ++t) {
    zeroCountsAround(200, 200);
    tickUnit(u);
    EXPECT_EQ(countAt(200, 199), 3);
    EXPECT_EQ(units.sowTimer[u], 0);
  }
  EXPECT_EQ(units.energy[u], 40.0f);
}

TEST_F(TickFarming, DistanceBeforeTheMoveAndOnlyWhenTravelling) {
  int u = place(farmerGenome(), 210, 200, Homeward, 100.0f);
  setHome(u, 200, 200);
  tickUnit(u);  // starts at distance 10 = gene 11: no farming
  EXPECT_EQ(units.posX[u], 209);
  EXPECT_EQ(units.sowTimer[u], 0);
  EXPECT_EQ(countAt(208, 199), 0);
  EXPECT_EQ(units.energy[u], 100.0f);
  tickUnit(u);  // starts at 9: sows around the new position (208, 200)
  EXPECT_EQ(countAt(207, 199), 3);
  EXPECT_EQ(countAt(210, 200), 3);
  EXPECT_EQ(units.energy[u], 88.0f);
  EXPECT_EQ(units.sowTimer[u], 1);

  // Outward farms near its away anchor.
  resetUnitTable();
  clearField();
  int out = place(farmerGenome(), 500, 300, Outward, 100.0f);
  setAway(out, 500, 300);
  tickUnit(out);
  EXPECT_EQ(countAt(499, 299), 3);
  EXPECT_EQ(units.energy[out], 88.0f);

  // A breeding Unit near home does not farm, nor does a forager.
  resetUnitTable();
  clearField();
  int breeder = place(farmerGenome(), 505, 300, Breed, 100.0f);
  setHome(breeder, 500, 300);
  units.stock[breeder] = 60;
  int forager = place(farmerGenome(), 300, 300, Forage, 100.0f);
  units.searchRadius[forager] = 31;  // a skipped tick walks on
  tickUnit(breeder);
  tickUnit(forager);
  EXPECT_EQ(countAt(503, 299), 0);
  EXPECT_EQ(countAt(299, 299), 0);
  EXPECT_EQ(units.sowTimer[breeder], 0);
  EXPECT_EQ(units.sowTimer[forager], 0);
}

// --- The tick: modes ----------------------------------------------------

TEST_F(TickModes, RuleBoundaries) {
  Genome g = quietGenome();
  g[5] = 300;
  g[6] = 100;
  g[16] = 100;
  g[32] = 50;
  struct Case {
    int32_t mode;
    float energy;
    int32_t stock;
    int32_t homeDx;  // home lies this far to the left of the position
    int32_t expected;
    const char* what;
  };
  // A forager walks nowhere (skipped search tick, target under it); a
  // homeward Unit walks one cell towards home; an outward one stands on its
  // away anchor.
  const Case cases[] = {
      {Forage, 300.0f, 0, 400, Homeward, "energy = gene 5 turns homeward"},
      {Forage, 299.5f, 0, 400, Forage, "below gene 5 keeps foraging"},
      {Forage, 300.0f, 0, 0, Outward, "homeward and at home in the same tick"},
      {Homeward, 100.0f, 0, 400, Homeward, "energy = gene 6 keeps homeward"},
      {Homeward, 99.5f, 0, 400, Forage, "below gene 6 forages"},
      {Homeward, 200.0f, 0, 101, Homeward, "homeDist 100 = gene 16 stays"},
      {Homeward, 200.0f, 0, 100, Outward, "homeDist 99 turns outward"},
      {Homeward, 200.0f, 51, 400, Breed, "stock above gene 13 breeds"},
      {Homeward, 200.0f, 50, 400, Homeward, "stock = gene 13 does not"},
      {Outward, 200.0f, 0, 150, Homeward, "homeDist - gene 32 = gene 16 turns back"},
      {Outward, 200.0f, 0, 149, Outward, "one less stays outward"},
      {Outward, 99.5f, 0, 400, Forage, "outward below gene 6 forages"},
      {Breed, 200.0f, 49, 400, Forage, "stock below gene 13 stops breeding"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetUnitTable();
    int u = place(g, 500, 300, c.mode, c.energy);
    units.stock[u] = c.stock;
    setHome(u, 500 - c.homeDx, 300);
    setAway(u, 500, 300);
    if (c.mode == Forage) units.searchRadius[u] = 31;
    if (c.mode == Breed) units.paceCounter[u] = 0, units.searchRadius[u] = 31;
    tickUnit(u);
    EXPECT_EQ(units.mode[u], c.expected);
  }
}

TEST_F(TickModes, UnknownModeWalksToItsTarget) {
  Genome g = farmerGenome();
  g[5] = 0;  // every rule that could fire would fire
  g[6] = 0;
  g[16] = 10000;
  for (int32_t mode : {7, -1, 4}) {
    SCOPED_TRACE(mode);
    resetUnitTable();
    clearField();
    int u = place(g, 40, 50, mode, 100.0f);
    setHome(u, 40, 50);
    setAway(u, 40, 50);
    units.targetX[u] = 50;
    units.targetY[u] = 50;
    units.stock[u] = 100;
    tickUnit(u);
    EXPECT_EQ(units.mode[u], mode);
    EXPECT_EQ(units.posX[u], 41);
    EXPECT_EQ(units.posY[u], 50);
    EXPECT_EQ(units.targetX[u], 50);
    EXPECT_EQ(units.searchRadius[u], 20);
    EXPECT_EQ(units.status[u], Alive);
    EXPECT_EQ(units.sowTimer[u], 0);
    EXPECT_EQ(countAt(40, 49), 0);
    EXPECT_EQ(units.status[1], Free);
  }
}

// --- Food search --------------------------------------------------------

namespace {

struct Found {
  int result;
  int32_t x, y;
};

bool qualifiesRef(int64_t x, int64_t y) {
  if (x < 1 || x > kWorldWidth - 1 || y < 1 || y > kWorldHeight - 1) return false;
  return cellAt((int)x, (int)y) == Live && markAt((int)x, (int)y) == 0;
}

// The ring search as the rules describe it: rings 0 .. R-1, four half-open
// strokes each, the first qualifying cell wins. A stroke's cells outside
// columns 1..824 or rows 1..524 are skipped, so the stroke loops start and
// end at that range. Rings farther out than |px| + |py| + 900 lie wholly
// outside the field and are not walked.
Found referenceSearch(int64_t px, int64_t py, int64_t radius) {
  const int64_t bound = std::llabs(px) + std::llabs(py) + 900;
  const int64_t rings = std::min(radius, bound);
  for (int64_t r = 0; r < rings; ++r) {
    for (int64_t y : {py - r, py + r}) {
      if (y < 1 || y > kWorldHeight - 1) continue;
      for (int64_t x = std::max<int64_t>(px - r, 1); x <= std::min<int64_t>(px + r - 1, kWorldWidth - 1); ++x)
        if (qualifiesRef(x, y)) return {1, (int32_t)x, (int32_t)y};
    }
    for (int64_t x : {px - r, px + r}) {
      if (x < 1 || x > kWorldWidth - 1) continue;
      for (int64_t y = std::max<int64_t>(py - r, 1); y <= std::min<int64_t>(py + r - 1, kWorldHeight - 1); ++y)
        if (qualifiesRef(x, y)) return {1, (int32_t)x, (int32_t)y};
    }
  }
  return {0, 0, 0};
}

}  // namespace

TEST_F(ForageSearch, RingOneOrderAndTheCornerNeverVisited) {
  const int px = 300, py = 200;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) setCell(px + dx, py + dy, Live);
  int u = place(quietGenome(), px, py, Forage, 50.0f);
  units.searchRadius[u] = 2;
  // Each search claims one cell, so the next finds the next in order. The
  // corner (px - 1, py - 1) is visited twice, (px + 1, py + 1) never, and
  // the Unit's own cell is not a search result.
  const int order[][2] = {{-1, -1}, {0, -1}, {-1, 1}, {0, 1}, {-1, 0}, {1, -1}, {1, 0}};
  for (auto& o : order) {
    SCOPED_TRACE(testing::Message() << o[0] << "," << o[1]);
    ASSERT_EQ(findFood(u), 1);
    EXPECT_EQ(units.targetX[u], px + o[0]);
    EXPECT_EQ(units.targetY[u], py + o[1]);
    EXPECT_EQ(markAt(px + o[0], py + o[1]), 1);
  }
  units.targetX[u] = -77;
  EXPECT_EQ(findFood(u), 0);
  EXPECT_EQ(units.targetX[u], -77);
  EXPECT_EQ(units.targetY[u], py + 0);
  EXPECT_EQ(markAt(px + 1, py + 1), 0);
  EXPECT_EQ(markAt(px, py), 0);
}

TEST_F(ForageSearch, NearerRingWinsAndSmallRadiiFindNothing) {
  const int px = 300, py = 200;
  setCell(px - 2, py - 2, Live);  // first cell of ring 2
  setCell(px + 1, py, Live);      // last stroke of ring 1
  setCell(px, py, Live);          // under the Unit
  int u = place(quietGenome(), px, py, Forage, 50.0f);
  for (int32_t radius : {1, 0, -5, kIntMin}) {
    units.searchRadius[u] = radius;
    EXPECT_EQ(findFood(u), 0) << radius;
  }
  units.searchRadius[u] = 3;
  ASSERT_EQ(findFood(u), 1);
  EXPECT_EQ(units.targetX[u], px + 1);
  EXPECT_EQ(units.targetY[u], py);
  ASSERT_EQ(findFood(u), 1);
  EXPECT_EQ(units.targetX[u], px - 2);
  EXPECT_EQ(units.targetY[u], py - 2);
  EXPECT_EQ(findFood(u), 0);

  // Column 0 and row 0 are never searched; other states never qualify.
  clearField();
  for (int k = 0; k < 10; ++k) setCell(0, k, Live), setCell(k, 0, Live);
  setCell(2, 2, Dormant);
  setCell(3, 2, Sprout);
  setCell(2, 3, 5);
  int corner = place(quietGenome(), 1, 1, Forage, 50.0f);
  units.searchRadius[corner] = 20;
  EXPECT_EQ(findFood(corner), 0);
}

TEST_F(ForageSearch, TwoUnitsNeverShareATargetUntilTheNextGeneration) {
  // A block survives the generation; set its counts as a step would.
  for (int dx = 0; dx < 2; ++dx)
    for (int dy = 0; dy < 2; ++dy) setCell(50 + dx, 50 + dy, Live);
  recountNeighbours();
  int a = place(quietGenome(), 52, 52, Forage, 50.0f);
  int b = place(quietGenome(), 52, 52, Forage, 50.0f);
  units.searchRadius[a] = units.searchRadius[b] = 3;
  // Ring 1 of (52, 52) reaches only (51, 51); ring 2 the rest.
  ASSERT_EQ(findFood(a), 1);
  EXPECT_EQ(units.targetX[a], 51);
  EXPECT_EQ(units.targetY[a], 51);
  ASSERT_EQ(findFood(b), 1);
  EXPECT_EQ(units.targetX[b], 50);
  EXPECT_EQ(units.targetY[b], 50);
  stepGeneration();
  EXPECT_EQ(markAt(51, 51), 0);
  EXPECT_EQ(markAt(50, 50), 0);
  ASSERT_EQ(findFood(b), 1);
  EXPECT_EQ(units.targetX[b], 51);
  EXPECT_EQ(units.targetY[b], 51);
}

TEST_F(ForageSearch, MatchesTheLiteralRingWalk) {
  // Rows near the ends of the 64-row words as well: the searches near the
  // Unit read 64 rows around it.
  const int32_t positions[][2] = {{412, 262}, {1, 1},      {0, 0},        {824, 524},  {830, 600},
                                  {-50, 262}, {412, -3000}, {3000, 3000}, {-1000, -1000}, {5, 520},
                                  {824, 1},   {100, 524},  {30, 31},     {40, 96},    {800, 540},
                                  {200, 556}, {300, -31},  {812, -32},   {-20, 90},   {843, 300}};
  const int32_t radii[] = {0, 1, 2, 3, 7, 30, 32, 33, 200, 825, 2000, 100000, kIntMax, 1000000000, -5, kIntMin, -1};
  for (uint32_t oneIn : {3000u, 600u})  // one cell in so many Live: food far away, or near
    for (bool plain : {false, true}) {
      SCOPED_TRACE(testing::Message() << (plain ? "plain paths, " : "fast paths, ") << "food 1 in " << oneIn);
      clearField();
      Lcg rng{plain ? 17u : 29u};
      for (int i = 0; i < kCellCount; ++i) {
        uint32_t r = rng.next() % oneIn;
        editCellGrids().cells[i] = r == 0 ? Live : r == 1 ? Dormant : r == 2 ? Sprout : Empty;
      }
      for (int k = 0; k < 40; ++k) markClaim((int)(rng.next() % kWorldWidth), (int)(rng.next() % kWorldHeight));
      usePlainPaths = plain;
      resetUnitTable();
      int u = place(quietGenome(), 0, 0, Forage, 50.0f);
      int successes = 0;
      for (auto& p : positions)
        for (int32_t radius : radii) {
          SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ") radius " << radius);
          units.posX[u] = p[0];
          units.posY[u] = p[1];
          units.searchRadius[u] = radius;
          units.targetX[u] = -77;
          units.targetY[u] = -88;
          Found want = referenceSearch(p[0], p[1], radius);
          ASSERT_EQ(findFood(u), want.result);
          if (want.result) {
            ++successes;
            EXPECT_EQ(units.targetX[u], want.x);
            EXPECT_EQ(units.targetY[u], want.y);
            EXPECT_EQ(markAt(want.x, want.y), 1);
          } else {
            EXPECT_EQ(units.targetX[u], -77);
            EXPECT_EQ(units.targetY[u], -88);
          }
        }
      EXPECT_GT(successes, 40);
      usePlainPaths = false;
    }
}

TEST_F(ForageSearch, HugeRadiiFromFarAway) {
  // Far to the right, ring r reaches the field only in column px - r; far
  // below, only in row py - r. The first such line with a free live cell
  // wins, at its topmost (leftmost) cell.
  setCell(824, 300, Live);
  setCell(824, 200, Live);
  setCell(823, 5, Live);
  setCell(1, 400, Live);
  setCell(1, 100, Live);
  setCell(500, 524, Live);
  setCell(300, 524, Live);
  setCell(0, 50, Live);
  setCell(50, 0, Live);
  markClaim(824, 200);
  int u = place(quietGenome(), 0, 0, Forage, 50.0f);
  auto search = [&](int32_t x, int32_t y, int32_t radius) {
    units.posX[u] = x;
    units.posY[u] = y;
    units.searchRadius[u] = radius;
    units.targetX[u] = -77;
    units.targetY[u] = -88;
    return findFood(u);
  };
  ASSERT_EQ(search(kIntMax, 262, kIntMax), 1);
  EXPECT_EQ(units.targetX[u], 824);
  EXPECT_EQ(units.targetY[u], 300);
  ASSERT_EQ(search(kIntMax, 262, kIntMax), 1);
  EXPECT_EQ(units.targetX[u], 823);
  EXPECT_EQ(units.targetY[u], 5);

  // From INT32_MIN column 1 is 2^31 + 1 rings away, beyond the last ring.
  EXPECT_EQ(search(kIntMin, 262, kIntMax), 0);
  EXPECT_EQ(units.targetX[u], -77);
  // From -2147483640 column 1 is ring 2147483641, the last ring of radius
  // 2147483642; radius 2147483641 ends at column 0, which is never searched.
  EXPECT_EQ(search(-2147483640, 262, 2147483641), 0);
  ASSERT_EQ(search(-2147483640, 262, 2147483642), 1);
  EXPECT_EQ(units.targetX[u], 1);
  EXPECT_EQ(units.targetY[u], 100);

  // From far below, row 524 is reached first, over its whole width.
  ASSERT_EQ(search(412, kIntMax, kIntMax), 1);
  EXPECT_EQ(units.targetX[u], 300);
  EXPECT_EQ(units.targetY[u], 524);
  EXPECT_EQ(search(412, kIntMin, kIntMax), 0);

  // From (max, max) ring r = max - k covers row k from column k on, then
  // column k from row k on: the cell with the largest min(x, y) wins.
  ASSERT_EQ(search(kIntMax, kIntMax, kIntMax), 1);
  EXPECT_EQ(units.targetX[u], 500);
  EXPECT_EQ(units.targetY[u], 524);

  // An empty field with the widest radius from anywhere: nothing, quickly.
  clearField();
  for (auto p : {std::pair<int32_t, int32_t>{412, 262}, {kIntMax, kIntMax}, {kIntMin, kIntMin}, {kIntMax, 0}, {0, kIntMin}})
    EXPECT_EQ(search(p.first, p.second, kIntMax), 0);
}

// --- Eating -------------------------------------------------------------

TEST_F(ForageEat, BiteKeepsNeighbourCountsInStep) {
  // Scattered live cells near the edges and corners and in the interior,
  // with counts as a step leaves them.
  Lcg rng{3};
  const int spots[][2] = {{0, 0}, {824, 524}, {824, 0}, {0, 524}, {412, 262}, {100, 1}, {1, 300}, {823, 523}};
  for (auto& s : spots)
    for (int dx = -3; dx <= 3; ++dx)
      for (int dy = -3; dy <= 3; ++dy)
        if (inField(s[0] + dx, s[1] + dy) && rng.next() % 2) setCell(s[0] + dx, s[1] + dy, Live);
  // A full plus in the interior, and a cell that stays claimed.
  for (auto d : {std::pair<int, int>{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) setCell(600 + d.first, 100 + d.second, Live);
  setCell(412, 262, Live);
  recountNeighbours();
  markClaim(412, 262);

  EXPECT_EQ(eatAt(600, 100), 10.0);
  for (auto& s : spots) {
    const int x = s[0], y = s[1];
    int expected = 0;
    if (cellAt(x, y) == Live)
      for (auto d : {std::pair<int, int>{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}})
        if (inField(x + d.first, y + d.second) && cellAt(x + d.first, y + d.second) == Live) ++expected;
    SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
    EXPECT_EQ(eatAt(x, y), expected / 0.5);
    if (expected) {
      EXPECT_EQ(cellAt(x, y), Empty);
      if (inField(x + 1, y)) {
        EXPECT_EQ(cellAt(x + 1, y), Empty);
      }
      if (inField(x, y - 1)) {
        EXPECT_EQ(cellAt(x, y - 1), Empty);
      }
    }
  }
  EXPECT_EQ(markAt(412, 262), 1);
  // Every count is still the number of live neighbours.
  int wrong = 0;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y)
      if (countAt(x, y) != liveNeighbours(x, y)) ++wrong;
  EXPECT_EQ(wrong, 0);
}

TEST_F(ForageEat, OnlyLiveCellsInsideTheFieldAreEaten) {
  // Centre not Live: nothing, whatever the arms hold.
  for (int32_t centre : {0, 8, -1, 5}) {
    clearField();
    setCell(300, 300, centre);
    setCell(301, 300, Live);
    setCell(299, 300, Live);
    setCell(300, 301, Live);
    setCell(300, 299, Live);
    recountNeighbours();
    EXPECT_EQ(eatAt(300, 300), 0.0) << centre;
    EXPECT_EQ(cellAt(301, 300), Live);
    EXPECT_EQ(countAt(301, 301), 2);
  }
  // Arms in other states stay.
  clearField();
  setCell(300, 300, Live);
  setCell(301, 300, Dormant);
  setCell(299, 300, Sprout);
  setCell(300, 301, Live);
  EXPECT_EQ(eatAt(300, 300), 4.0);
  EXPECT_EQ(cellAt(301, 300), Dormant);
  EXPECT_EQ(cellAt(299, 300), Sprout);
  EXPECT_EQ(cellAt(300, 301), Empty);
  // Outside the grid.
  for (auto p : {std::pair<int32_t, int32_t>{-1, 0}, {825, 0}, {0, -1}, {0, 525}, {kIntMin, kIntMax}, {kIntMax, 3}})
    EXPECT_EQ(eatAt(p.first, p.second), 0.0);
  // The corner: (0, 0) and its arms (1, 0) and (0, 1).
  clearField();
  setCell(0, 0, Live);
  setCell(1, 0, Live);
  setCell(0, 1, Live);
  setCell(1, 1, Live);
  EXPECT_EQ(eatAt(0, 0), 6.0);
  EXPECT_EQ(cellAt(1, 1), Live);
}

TEST_F(ForageEat, FoodDivisorSetsTheWorth) {
  auto bite = [](int cellsToEat) {
    clearField();
    setCell(300, 300, Live);
    if (cellsToEat > 1) setCell(301, 300, Live);
    if (cellsToEat > 2) setCell(299, 300, Live);
    return eatAt(300, 300);
  };
  foodDivisor = 0.55f;  // slightly above 0.55
  double one = bite(1);
  EXPECT_GT(one, 1.8181);
  EXPECT_LT(one, 1.8182);
  foodDivisor = 0.6f;  // slightly above 0.6
  double three = bite(3);
  EXPECT_LT(three, 5.0);
  EXPECT_GT(three, 4.9999);
  // In the tick these truncate to 1 and 4.
  foodDivisor = 0.6f;
  clearField();
  setCell(300, 300, Live);
  setCell(301, 300, Live);
  setCell(299, 300, Live);
  int u = place(quietGenome(), 300, 300, Homeward, 10.0f);
  setHome(u, 300, 300);
  tickUnit(u);
  EXPECT_EQ(units.stock[u], 4);
  EXPECT_EQ(units.energy[u], 14.0f);

  // A divisor that is not a positive finite number: the bite eats but is
  // worth nothing.
  for (float d : {0.0f, -0.5f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity()}) {
    SCOPED_TRACE(d);
    foodDivisor = d;
    EXPECT_EQ(bite(3), 0.0);
    EXPECT_EQ(cellAt(300, 300), Empty);
    EXPECT_EQ(cellAt(301, 300), Empty);
  }
}

TEST_F(ForageEat, EatenNeighbourPreventsABirth) {
  // (301, 301) has three live neighbours; eating one of them leaves two.
  for (bool eat : {false, true}) {
    clearField();
    setCell(300, 300, Live);
    setCell(302, 300, Live);
    setCell(301, 302, Live);
    recountNeighbours();
    if (eat) {
      EXPECT_EQ(eatAt(300, 300), 2.0);
    }
    EXPECT_EQ(countAt(301, 301), eat ? 2 : 3);
    stepGeneration();
    EXPECT_EQ(cellAt(301, 301), eat ? Empty : Live) << eat;
  }
}

// --- Sowing -------------------------------------------------------------

namespace {
struct PatternCell { int gene, threshold, dx, dy; };
// The seed pattern around the sowing point, y growing downwards.
const PatternCell kPattern[12] = {
    {20, 12, -1, -1}, {21, 12, 0, -1}, {22, 12, 1, -1}, {23, 12, 1, 0}, {24, 12, 1, 1}, {25, 12, 0, 1},
    {26, 12, -1, 1},  {27, 12, -1, 0}, {28, 5, 0, -2},  {29, 5, 0, 2},  {30, 5, -2, 0}, {31, 5, 2, 0},
};
int countsAtThreeAround(int x, int y) {
  int n = 0;
  for (int cx = x - 3; cx <= x + 3; ++cx)
    for (int cy = y - 3; cy <= y + 3; ++cy)
      if (inField(cx, cy) && countAt(cx, cy) == 3) ++n;
  return n;
}
}  // namespace

TEST_F(SowPattern, BoundsAndTheFullPattern) {
  Genome g = quietGenome();
  for (int k = 20; k <= 31; ++k) g[k] = 25;
  int u = place(g, 0, 0, Homeward, 10.0f);
  for (auto p : {std::pair<int, int>{2, 300}, {823, 300}, {300, 2}, {300, 523}, {-5, 300}, {300, 9000}}) {
    EXPECT_EQ(sowPattern(p.first, p.second, u), 0);
    if (inField(p.first, p.second)) {
      EXPECT_EQ(countsAtThreeAround(p.first, p.second), 0);
    }
  }
  for (auto p : {std::pair<int, int>{3, 3}, {822, 522}, {400, 300}}) {
    SCOPED_TRACE(testing::Message() << p.first << "," << p.second);
    EXPECT_EQ(sowPattern(p.first, p.second, u), 12);
    for (const PatternCell& c : kPattern) EXPECT_EQ(countAt(p.first + c.dx, p.second + c.dy), 3);
    EXPECT_EQ(countsAtThreeAround(p.first, p.second), 12);
    EXPECT_EQ(countAt(p.first, p.second), 0);
    EXPECT_EQ(cellAt(p.first + 1, p.second), Empty);
    // Counts already at 3 are left alone and not counted.
    EXPECT_EQ(sowPattern(p.first, p.second, u), 0);
  }
  editCellGrids().neighbourCounts[cellIndex(401, 300)] = 0;
  editCellGrids().neighbourCounts[cellIndex(400, 302)] = 7;
  EXPECT_EQ(sowPattern(400, 300, u), 2);
  EXPECT_EQ(countAt(400, 302), 3);
}

TEST_F(SowPattern, EachGeneAndItsThreshold) {
  Genome g = quietGenome();
  int u = place(g, 0, 0, Homeward, 10.0f);
  for (const PatternCell& c : kPattern) {
    SCOPED_TRACE(c.gene);
    clearField();
    for (int k = 20; k <= 31; ++k) units.genome[u][k] = 1;
    units.genome[u][c.gene] = c.threshold;
    EXPECT_EQ(sowPattern(300, 300, u), 0);
    units.genome[u][c.gene] = c.threshold + 1;
    EXPECT_EQ(sowPattern(300, 300, u), 1);
    EXPECT_EQ(countAt(300 + c.dx, 300 + c.dy), 3);
    EXPECT_EQ(countsAtThreeAround(300, 300), 1);
  }
}

TEST_F(SowPattern, FreeSlotsSowNothingDeadOnesSow) {
  Genome g = quietGenome();
  for (int k = 20; k <= 31; ++k) g[k] = 20;
  int u = place(g, 0, 0, Homeward, 10.0f);
  units.status[u] = Free;
  EXPECT_EQ(sowPattern(300, 300, u), 0);
  EXPECT_EQ(countsAtThreeAround(300, 300), 0);
  units.status[u] = Dead;
  EXPECT_EQ(sowPattern(300, 300, u), 12);
}

TEST_F(SowPattern, SownCellsComeAliveAtTheNextGeneration) {
  Genome g = quietGenome();
  for (int k = 20; k <= 31; ++k) g[k] = 20;
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain paths" : "fast paths");
    usePlainPaths = plain;
    clearField();
    resetUnitTable();
    int u = place(g, 0, 0, Homeward, 10.0f);
    stepGeneration();  // a quiet field: the step keeps no active rows
    stepGeneration();
    EXPECT_EQ(sowPattern(400, 300, u), 12);
    EXPECT_EQ(sowPattern(5, 520, u), 12);
    stepGeneration();
    int live = 0;
    for (int i = 0; i < kCellCount; ++i) live += editCellGrids().cells[i] == Live;
    EXPECT_EQ(live, 24);
    for (const PatternCell& c : kPattern) {
      EXPECT_EQ(cellAt(400 + c.dx, 300 + c.dy), Live);
      EXPECT_EQ(cellAt(5 + c.dx, 520 + c.dy), Live);
    }
    usePlainPaths = false;
  }
}

// --- Contests -----------------------------------------------------------

namespace {

enum class Path { Plain, Scan, Index };
const Path kPaths[] = {Path::Plain, Path::Scan, Path::Index};
const char* pathName(Path p) { return p == Path::Plain ? "plain" : p == Path::Scan ? "scan" : "index"; }

void fighter(int slot, int32_t x, int32_t y, float energy, int32_t kind, int32_t reach = 1) {
  units.status[slot] = Alive;
  units.posX[slot] = x;
  units.posY[slot] = y;
  units.energy[slot] = energy;
  units.stock[slot] = 0;
  units.genome[slot] = quietGenome();
  units.genome[slot][12] = kind;
  units.genome[slot][19] = reach;
}

void contacts(int u, Path p) {
  usePlainPaths = p == Path::Plain;
  if (p == Path::Index) beginContactIndex();
  resolveContacts(u);
  endContactIndex();
  usePlainPaths = false;
}

}  // namespace

TEST_F(Contest, ReachAndKinship) {
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(10, 100, 100, 50.0f, 1000, 10);
    fighter(3, 110, 100, 1.0f, 0);     // distance 10 = reach: out
    fighter(4, 105, 104, 20.0f, 1021);  // distance 9, kinds 21 apart: fight
    fighter(5, 101, 100, 1.0f, 1020);   // kinds 20 apart: kin
    fighter(6, 100, 101, 10.0f, 979);   // 21 apart the other way: fight
    fighter(7, 100, 99, 1.0f, 1000);    // same kind
    fighter(8, 100, 95, 5.0f, 0, 1);    // within u's reach, u not in its own
    fighter(9, 90, 100, 1.0f, 0);       // distance 10 on the other side: out
    contacts(10, p);
    EXPECT_EQ(units.status[3], Alive);
    EXPECT_EQ(units.status[4], Dead);
    EXPECT_EQ(units.status[5], Alive);
    EXPECT_EQ(units.status[6], Dead);
    EXPECT_EQ(units.status[7], Alive);
    EXPECT_EQ(units.status[8], Dead);
    EXPECT_EQ(units.status[9], Alive);
    EXPECT_EQ(units.status[10], Alive);
    EXPECT_EQ(units.energy[10], 85.0f);
    EXPECT_EQ(units.stock[10], 35);
    // Losers keep their own energy and stock.
    EXPECT_EQ(units.energy[4], 20.0f);
    EXPECT_EQ(units.stock[4], 0);
  }
}

TEST_F(Contest, AscendingSlotOrderTiesAndALoserFightingOn) {
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(5, 200, 200, 5.0f, 100, 20);
    fighter(1, 210, 200, 8.0f, 500);  // u loses: 13
    fighter(2, 200, 190, 9.0f, 500);  // u loses again: 14
    fighter(3, 201, 200, 100.0f, 500);
    units.status[3] = Dead;  // never met again
    units.posX[4] = 200, units.posY[4] = 201, units.energy[4] = 100.0f, units.genome[4][12] = 500;  // Free
    fighter(7, 195, 195, 3.0f, 500);   // the Dead u still wins: 8
    fighter(8, 200, 205, 8.0f, 500);   // a tie goes to u: 16
    contacts(5, p);
    EXPECT_EQ(units.status[5], Dead);
    EXPECT_EQ(units.energy[1], 13.0f);
    EXPECT_EQ(units.stock[1], 5);
    EXPECT_EQ(units.energy[2], 14.0f);
    EXPECT_EQ(units.stock[2], 5);
    EXPECT_EQ(units.status[1], Alive);
    EXPECT_EQ(units.status[2], Alive);
    EXPECT_EQ(units.energy[3], 100.0f);
    EXPECT_EQ(units.status[4], Free);
    EXPECT_EQ(units.status[7], Dead);
    EXPECT_EQ(units.status[8], Dead);
    EXPECT_EQ(units.energy[5], 16.0f);
    EXPECT_EQ(units.stock[5], 11);
  }
  // Order decides: the near rich slot 8 comes after the far poor slot 2,
  // in another bucket, so u wins both.
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(5, 200, 200, 5.0f, 100, 40);
    fighter(2, 170, 200, 3.0f, 500);
    fighter(8, 201, 200, 7.0f, 500);
    contacts(5, p);
    EXPECT_EQ(units.status[5], Alive);
    EXPECT_EQ(units.status[2], Dead);
    EXPECT_EQ(units.status[8], Dead);
    EXPECT_EQ(units.energy[5], 15.0f);
  }
}

TEST_F(Contest, NegativeEnergyAndStockTruncation) {
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(0, 300, 300, 10.0f, 100, 5);
    fighter(1, 301, 300, -2.5f, 200);
    contacts(0, p);
    EXPECT_EQ(units.status[1], Dead);
    EXPECT_EQ(units.energy[0], 7.5f);
    EXPECT_EQ(units.stock[0], -2);  // trunc(0 - 2.5), toward zero
    // A u with negative energy loses and lowers the winner.
    resetUnitTable();
    fighter(0, 300, 300, -1.5f, 100, 5);
    fighter(1, 301, 300, 2.0f, 200);
    contacts(0, p);
    EXPECT_EQ(units.status[0], Dead);
    EXPECT_EQ(units.energy[1], 0.5f);
    EXPECT_EQ(units.stock[1], -1);  // trunc(0 - 1.5)
    resetUnitTable();
    fighter(0, 300, 300, 10.0f, 100, 5);
    units.stock[0] = 3;
    fighter(1, 301, 300, 2.75f, 200);
    fighter(2, 300, 301, 20.5f, 200);
    units.stock[2] = 4;
    contacts(0, p);
    EXPECT_EQ(units.stock[0], 5);  // trunc(3 + 2.75)
    EXPECT_EQ(units.energy[0], 12.75f);
    EXPECT_EQ(units.status[0], Dead);
    EXPECT_EQ(units.energy[2], 33.25f);
    EXPECT_EQ(units.stock[2], 16);  // trunc(4 + 12.75)
  }
}

TEST_F(Contest, NoReachNoContestAndWideReaches) {
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(0, 300, 300, 10.0f, 100, 0);
    fighter(1, 300, 300, 1.0f, 200);
    fighter(2, 0, 0, 1.0f, 200, -7);
    contacts(0, p);
    contacts(2, p);
    EXPECT_EQ(units.status[1], Alive);
    EXPECT_EQ(units.status[0], Alive);
    EXPECT_EQ(units.status[2], Alive);
    // A reach wider than the buckets: 499 in, 500 out, on both diagonals.
    resetUnitTable();
    fighter(0, 412, 262, 100.0f, 100, 500);
    fighter(1, 412 + 300, 262 + 199, 1.0f, 200);
    fighter(2, 412 - 250, 262 - 250, 1.0f, 200);
    fighter(3, 412 + 400, 262 - 99, 1.0f, 200);
    fighter(4, 412 - 300, 262 + 200, 1.0f, 200);
    fighter(5, 412 + 500, 262, 1.0f, 200);
    fighter(6, 412, 262 - 500, 1.0f, 200);
    contacts(0, p);
    EXPECT_EQ(units.status[1], Dead);
    EXPECT_EQ(units.status[2], Alive);
    EXPECT_EQ(units.status[3], Dead);
    EXPECT_EQ(units.status[4], Alive);
    EXPECT_EQ(units.status[5], Alive);
    EXPECT_EQ(units.status[6], Alive);
    EXPECT_EQ(units.energy[0], 102.0f);
  }
}

TEST_F(Contest, FarCoordinatesAndWrappingKinds) {
  for (Path p : kPaths) {
    SCOPED_TRACE(pathName(p));
    resetUnitTable();
    fighter(0, 2147483000, 7, 10.0f, 100, 1000);
    fighter(1, 2147483600, 7, 1.0f, 200);  // 600 away
    fighter(2, kIntMin, 7, 1.0f, 200);      // 2^32 - 648 away
    fighter(3, 2147483000, -900, 1.0f, 200);  // 907 away
    contacts(0, p);
    EXPECT_EQ(units.status[1], Dead);
    EXPECT_EQ(units.status[2], Alive);
    EXPECT_EQ(units.status[3], Dead);
    // Just beyond each edge of the field, where the index keeps such Units
    // with those at the edge.
    for (auto [x, y, ox, oy] : {std::array{-30, 100, -27, 100}, {100, -30, 101, -33}, {860, 300, 862, 301},
                                {400, 560, 399, 558}}) {
      resetUnitTable();
      fighter(0, x, y, 10.0f, 100, 5);
      fighter(1, ox, oy, 1.0f, 200);
      contacts(0, p);
      EXPECT_EQ(units.status[1], Dead) << x << ", " << y;
    }
    // The distance from INT32_MAX to INT32_MIN is 2^32 - 1, not -1.
    resetUnitTable();
    fighter(0, kIntMax, 0, 10.0f, 100, kIntMax);
    fighter(1, kIntMin, 0, 1.0f, 200);
    fighter(2, 0, 0, 1.0f, 200);  // exactly the reach
    fighter(3, 1, 0, 1.0f, 200);
    contacts(0, p);
    EXPECT_EQ(units.status[1], Alive);
    EXPECT_EQ(units.status[2], Alive);
    EXPECT_EQ(units.status[3], Dead);
    // The kind difference wraps in 32 bits: INT32_MIN - INT32_MAX is 1.
    resetUnitTable();
    fighter(0, 300, 300, 10.0f, kIntMin, 5);
    fighter(1, 300, 300, 1.0f, kIntMax);
    fighter(2, 300, 301, 1.0f, kIntMax - 30);  // 31 apart after the wrap
    contacts(0, p);
    EXPECT_EQ(units.status[1], Alive);
    EXPECT_EQ(units.status[2], Dead);
  }
}

TEST_F(Contest, ContactIndexFollowsMovesAndBirths) {
  resetUnitTable();
  fighter(0, 100, 100, 50.0f, 1000, 10);
  fighter(1, 500, 400, 1.0f, 2000);
  beginContactIndex();
  units.posX[1] = 103;
  units.posY[1] = 100;
  placeInContactIndex(1);
  Genome g = quietGenome();
  g[12] = 3000;
  g[6] = 2;  // energy 4.6
  int child = spawnUnit(98, 101, g);
  ASSERT_EQ(child, 2);
  resolveContacts(0);
  endContactIndex();
  EXPECT_EQ(units.status[1], Dead);
  EXPECT_EQ(units.status[2], Dead);
  EXPECT_EQ(units.energy[0], 50.0f + 1.0f + (float)(2 * 2.3));
}
