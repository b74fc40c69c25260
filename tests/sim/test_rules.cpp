// The rules of the simulation where a reader needs to see them at work, in
// hand-worked cases: the genome operations, a Unit's tick, the food search
// and the bite, sowing, contests, regulation and the selections. Whole runs
// are pinned in test_runs.cpp.
#include <cstring>
#include <tuple>
#include <vector>

#include "selection/selection.h"
#include "tests/support.h"

namespace {

using std::tuple;

// The generator's state one draw earlier.
uint32_t stepBack(uint32_t state) {
  uint32_t inverse = 214013u;  // Newton's iteration for its inverse mod 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
  return (state - 2531011u) * inverse;
}
// Sets the generator so that the raw number drawn after `skip` others is raw.
void forceRaw(int32_t raw, int skip = 0) {
  randomState = stepBack((uint32_t)raw << 16);
  for (int k = 0; k < skip; ++k) randomState = stepBack(randomState);
}
// Raw numbers for which randomRange(1, 1000) gives 1, 850 and 1000.
constexpr int32_t kR1 = 0, kR850 = 27848, kR1000 = 32767;

Genome midGenome() {
  Genome g;
  for (int k = 0; k < kGeneCount; ++k) g[k] = (rules.genes.seedLow[k] + rules.genes.seedHigh[k]) / 2;
  return g;
}

// A Unit that does nothing on its own: walks one cell a tick for free, never
// farms, fights, sows or turns Outward, and lives long.
Genome quiet() {
  Genome g;
  g.fill(1);
  g[0] = g[1] = g[17] = g[18] = 40;
  g[4] = 3, g[5] = 1000, g[6] = 10, g[8] = 1000, g[9] = 4, g[10] = 0, g[11] = 0;
  g[12] = 1000, g[13] = 50, g[16] = 0, g[19] = 0, g[32] = 0, g[33] = 0, g[35] = 50000;
  return g;
}

class Rules : public ::testing::Test {
 protected:
  void SetUp() override {
    freshWorld(12345);
    simulation.foodDivisor = 0.5f;
  }
  // A Unit in the lowest free slot at (x, y), its target and anchors there too.
  static int place(const Genome& g, int32_t x, int32_t y, int32_t mode = Homeward, float energy = 100.0f) {
    int u = spawnUnit(x, y, g);
    units.mode[u] = mode;
    units.energy[u] = energy;
    units.targetX[u] = units.homeX[u] = units.awayX[u] = x;
    units.targetY[u] = units.homeY[u] = units.awayY[u] = y;
    units.paceCounter[u] = 0;
    return u;
  }
  static tuple<int32_t, int32_t> at(int u) { return {units.posX[u], units.posY[u]}; }
};

UnitTable tableBefore;  // too large for the stack

}  // namespace

// --- Genome ---------------------------------------------------------------

TEST_F(Rules, RandomRangeAndMutationSteps) {
  for (int32_t raw = 0; raw <= 32767; ++raw) {
    forceRaw(raw);
    ASSERT_EQ(randomRange(14, 14), 14);
    forceRaw(raw);
    const int32_t v = randomRange(10, 25);
    ASSERT_TRUE(v >= 10 && v <= (raw == 32767 ? 25 : 24)) << raw;  // 25 only for the top raw number
  }
  // f = (r - 500) / 500 in single precision; the change truncates toward 0.
  for (auto [gene, value, amplitude, raw, result] : {tuple{0, 40, 10, kR850, 46},  // 0.7f is a shade below 0.7
                                                     {0, 40, 10, kR1000, 50}, {0, 40, 10, kR1, 31},
                                                     {10, 3, 0, kR1000, 14},  // amplitude 0 still clamps
                                                     {0, INT32_MAX, 10, kR1000, 1}}) {
    units.genome[7] = midGenome();
    units.genome[7][gene] = value;
    forceRaw(raw);
    mutateGene(units.genome[7], gene, amplitude, rules.genes);
    EXPECT_EQ(units.genome[7][gene], result) << "gene " << gene << " = " << value << ", raw " << raw;
  }
  // A parent's gene 33 of 10 gives the factor 10 / 30: amplitude 3 for a step
  // of 10 (gene 0), 1 for a step of 5 (gene 4), 0 for a step of 2 (gene 20).
  for (auto [gene, change] : {tuple{0, 3}, {4, 1}, {20, 0}}) {
    units.genome[7] = midGenome();
    forceRaw(kR1000, gene);  // each gene draws once, in order
    mutateGenome(units.genome[7], (float)(10.0 / 30.0), rules.genes);
    EXPECT_EQ(units.genome[7][gene] - midGenome()[gene], change) << "gene " << gene;
  }
}

TEST_F(Rules, ViabilityBoundaries) {
  // Home (10, 10). Factor 0 leaves the genes as set here.
  struct Case { const char* what; int32_t g5, g6, g11, g16, g32, awayX, awayY; bool dies; } cases[] = {
      {"viable", 150, 100, 800, 100, 100, 110, 110, false},
      {"gene 5 - gene 6 = 10", 110, 100, 800, 100, 100, 110, 110, true},
      {"gene 5 - gene 6 = 11", 111, 100, 800, 100, 100, 110, 110, false},
      {"gene 16 + gene 32 = gene 11", 150, 100, 200, 100, 100, 110, 110, false},
      {"one more than gene 11", 150, 100, 199, 100, 100, 110, 110, true},
      {"anchor distance = gene 16 + gene 32", 150, 100, 800, 100, 100, 150, 70, false},
      {"anchor distance one less", 150, 100, 800, 100, 100, 109, 110, true},
  };
  for (const Case& c : cases) {
    Genome& g = units.genome[42] = midGenome();
    g[5] = c.g5, g[6] = c.g6, g[11] = c.g11, g[16] = c.g16, g[32] = c.g32;
    units.status[42] = Alive;
    units.homeX[42] = units.homeY[42] = 10, units.awayX[42] = c.awayX, units.awayY[42] = c.awayY;
    mutateNewborn(42, 0.0f);
    EXPECT_EQ(units.status[42], c.dies ? Dead : Alive) << c.what;
  }
  // The midpoint of 80..255 is not high; one more is.
  EXPECT_EQ(tuple(geneValueIsHigh(2, 167, rules.genes), geneValueIsHigh(2, 168, rules.genes)), tuple(false, true));
}

// --- Unit table and the tick -------------------------------------------------

TEST_F(Rules, SpawningAnchorsAndReaping) {
  for (int u = 0; u < kMaxUnits; ++u) units.status[u] = u % 3 ? Alive : Dead;
  tableBefore = units;
  EXPECT_EQ(spawnUnit(5, 5, quiet()), -1);
  EXPECT_EQ(std::memcmp(&tableBefore, &units, sizeof units), 0) << "a full table is unchanged";
  units.status[4] = Free, units.paceCounter[4] = 7;
  for (int u = 500; u < kMaxUnits; ++u) units.status[u] = Free;
  Genome g = quiet();
  g[6] = 100;
  ASSERT_EQ(spawnUnit(-7, 9999, g), 4);
  EXPECT_EQ(tuple(units.posX[4], units.posY[4], units.mode[4], units.searchRadius[4], units.memory[4][29]),
            tuple(-7, 9999, Homeward, 20, -1));
  EXPECT_EQ(units.energy[4], 230.0f);
  EXPECT_EQ(units.paceCounter[4], 7) << "a birth keeps the slot's pace counter";
  g[6] = 1;
  ASSERT_EQ(spawnUnit(0, 0, g), 500) << "Dead slots wait for the reap";
  EXPECT_EQ(units.energy[500], 2.3f);
  reapDead();
  EXPECT_EQ(tuple(units.status[0], units.status[1]), tuple(Free, Alive));
  EXPECT_EQ(spawnUnit(0, 0, g), 0);
  // Anchors: gene / 80 of the field, at least 10, at most 10 inside the far edge.
  for (auto [gene, x, y] : {tuple{79, 814, 515}, {80, 815, 515}, {1, 10, 10}, {0, 10, 10}, {40, 412, 262}}) {
    g[0] = g[1] = g[17] = g[18] = gene;
    const int u = spawnUnit(0, 0, g);
    EXPECT_EQ(tuple(units.homeX[u], units.homeY[u], units.awayX[u], units.awayY[u]), tuple(x, y, x, y)) << gene;
  }
}

TEST_F(Rules, StepsMovesAndTheirCost) {
  // Both axes take the long step 4 (distances 30 and 10 exceed gene 8 = 5);
  // y is scaled by 10 / 30 to 1.3333334; the cost is 5.3333334 x 14 / 60.
  Genome g = quiet();
  g[8] = 5, g[9] = 4, g[10] = 14;
  int u = place(g, 10, 10);
  units.homeX[u] = 40, units.homeY[u] = 20, units.searchRadius[u] = 25;
  tickUnit(u);
  EXPECT_EQ(at(u), tuple(14, 11));
  EXPECT_EQ(units.energy[u], 98.75555419921875f);
  EXPECT_EQ(units.searchRadius[u], 19);
  // Standing on the target still costs two unit steps; radius 25 shrinks to 23.
  u = place(g, 40, 20);
  units.searchRadius[u] = 25;
  tickUnit(u);
  EXPECT_EQ(units.searchRadius[u], 23);
  EXPECT_EQ(units.energy[u], 99.53333282470703f);
  struct Move { int32_t g8, g9, hx, hy, ticks, wantX, wantY; const char* what; } moves[] = {
      {1000, 4, 9, 12, 1, 9, 11, "x step 0.5 down: trunc(9.5)"},
      {1000, 4, 11, 12, 1, 10, 11, "x step 0.5 up: trunc(10.5), no move"},
      {2, 10, 15, 10, 3, 10, 10, "overshoot to 20 taken back to 10, tick after tick"},
      {2, 40, 1, 10, 1, -30, 10, "undershoot kept"},
  };
  for (const Move& m : moves) {
    g[8] = m.g8, g[9] = m.g9;
    u = place(g, 10, 10);
    units.homeX[u] = m.hx, units.homeY[u] = m.hy;
    for (int t = 0; t < m.ticks; ++t) tickUnit(u);
    EXPECT_EQ(at(u), tuple(m.wantX, m.wantY)) << m.what;
  }
}

TEST_F(Rules, DeathsSearchesAndPacing) {
  Genome g = quiet();
  g[35] = 100;
  int young = place(g, 100, 100), old = place(g, 300, 300);
  units.age[young] = 99, units.age[old] = 100;
  tickUnit(young), tickUnit(old);
  EXPECT_EQ(tuple(units.status[young], units.status[old]), tuple(Alive, Dead)) << "age = gene 35 survives";
  // Energy 0: marked Dead, yet it walks, eats and pays nothing for the step.
  g = quiet();
  g[10] = 14;
  int starved = place(g, 100, 200, Homeward, 0.0f);
  units.homeX[starved] = 110;
  placeLive(101, 200);
  tickUnit(starved);
  EXPECT_EQ(tuple(units.status[starved], units.posX[starved], units.energy[starved]), tuple(Dead, 101, 2.0f));
  // A failed search grows the radius (r x 3 + 10) or, from 825 on, kills.
  for (auto [radius, after] : {tuple{824, 2482}, {825, 825}, {0, 10}}) {
    int u = place(quiet(), 400, 400, Forage);
    units.searchRadius[u] = radius, units.paceCounter[u] = radius / 30;
    tickUnit(u);
    EXPECT_EQ(tuple(units.searchRadius[u], units.status[u]), tuple(after, radius >= 825 ? Dead : Alive)) << radius;
  }
  for (auto [radius, period] : {tuple{30, 0}, {31, 1}, {59, 1}, {60, 2}}) {
    int u = place(quiet(), 100, 100);
    units.searchRadius[u] = radius;
    tickUnit(u);
    EXPECT_EQ(units.pacePeriod[u], period) << radius;
  }
  // Radius 119: period 3 (shrinking by 2 a tick it stays above 90). A live
  // cell lies on ring 1; only the fourth tick searches and walks to it.
  int u = place(quiet(), 200, 100, Forage);
  units.searchRadius[u] = 119;
  placeLive(199, 100);
  for (int t = 0; t < 3; ++t) tickUnit(u);
  EXPECT_EQ(tuple(markAt(199, 100), units.posX[u]), tuple(0, 200));
  tickUnit(u);
  EXPECT_EQ(tuple(units.posX[u], units.stock[u], units.energy[u]), tuple(199, 2, 102.0f));
}

TEST_F(Rules, BreedingAtHomeOnlyOnASearchTick) {
  Genome g = quiet();
  g[10] = 14, g[11] = 1200, g[16] = 100, g[32] = 50, g[19] = 1, g[33] = 5, g[17] = g[18] = 10;
  for (bool skipped : {false, true}) {
    resetUnitTable();
    int u = place(g, 412, 262, Breed, 500.0f);
    units.stock[u] = 60;
    if (skipped) units.searchRadius[u] = 31, units.targetX[u] = 300;
    tickUnit(u);
    if (skipped) {
      EXPECT_EQ(tuple(units.status[1], units.stock[u], units.targetX[u]), tuple(Free, 60, 300));
      continue;
    }
    // The child at the parent's position less 5, with energy gene 6 x 2.3;
    // the parent, its stock spent, forages.
    EXPECT_EQ(tuple(units.status[1], units.posX[1], units.posY[1], units.energy[1]), tuple(Alive, 407, 257, 23.0f));
    EXPECT_EQ(tuple(units.stock[u], units.mode[u]), tuple(0, Forage));
  }
}

TEST_F(Rules, FarmingRhythmAndDistance) {
  Genome g = quiet();
  for (int k = 20; k <= 31; ++k) g[k] = 13;  // all twelve pattern cells
  g[11] = 10, g[6] = 0;
  // Gene 4 = 3: the timer runs 1, 2, 0 and sows on the ticks that start at
  // 0, twelve counts at 3 paid with one energy each; gene 4 = 1: every tick.
  int u = place(g, 200, 200);
  auto tick = [u] {
    for (int x = 197; x <= 203; ++x)
      for (int y = 197; y <= 203; ++y) setCount(x, y, 0);
    tickUnit(u);
    return units.energy[u];
  };
  std::vector<float> energy;
  for (int t = 0; t < 4; ++t) energy.push_back(tick());
  units.genome[u][4] = 1, units.sowTimer[u] = 0;
  for (int t = 0; t < 2; ++t) energy.push_back(tick());
  EXPECT_EQ(energy, (std::vector<float>{88, 88, 88, 76, 64, 52}));
  // The distance before the move counts: from 10 = gene 11 no sowing though
  // the Unit ends at 9; the next tick, from 9, sows.
  u = place(g, 310, 300);
  units.homeX[u] = 300;
  tickUnit(u);
  EXPECT_EQ(units.energy[u], 100.0f);
  tickUnit(u);
  EXPECT_EQ(units.energy[u], 88.0f);
}

TEST_F(Rules, ModeBoundaries) {
  Genome g = quiet();
  g[5] = 300, g[6] = 100, g[16] = 100, g[32] = 50;
  struct Case { int32_t mode; float energy; int32_t stock, homeDx, want; const char* what; } cases[] = {
      {Forage, 300.0f, 0, 400, Homeward, "energy = gene 5 turns homeward"},
      {Forage, 299.5f, 0, 400, Forage, "below gene 5 keeps foraging"},
      {Homeward, 100.0f, 0, 400, Homeward, "energy = gene 6 keeps homeward"},
      {Homeward, 99.5f, 0, 400, Forage, "below gene 6 forages"},
      {Homeward, 200.0f, 0, 101, Homeward, "homeDist 100 = gene 16 stays"},
      {Homeward, 200.0f, 0, 100, Outward, "homeDist 99 turns outward"},
      {Homeward, 200.0f, 51, 400, Breed, "stock above gene 13 breeds"},
      {Homeward, 200.0f, 50, 400, Homeward, "stock = gene 13 does not"},
      {Outward, 200.0f, 0, 150, Homeward, "homeDist - gene 32 = gene 16 turns back"},
      {Outward, 200.0f, 0, 149, Outward, "one less stays outward"},
      {Breed, 200.0f, 49, 400, Forage, "stock below gene 13 stops breeding"},
  };
  for (const Case& c : cases) {
    int u = place(g, 500, 300, c.mode, c.energy);
    units.stock[u] = c.stock, units.homeX[u] = 500 - c.homeDx, units.searchRadius[u] = 31;
    tickUnit(u);
    EXPECT_EQ(units.mode[u], c.want) << c.what;
  }
}

// --- Food search and the bite ------------------------------------------------

TEST_F(Rules, RingOrderOfTheFoodSearch) {
  // All nine cells live; each search claims the next in order. The corner
  // (px - 1, py - 1) comes twice, (px + 1, py + 1) never, the Unit's own
  // cell is never a result, and a radius of 1 searches nothing.
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) placeLive(300 + dx, 200 + dy);
  int u = place(quiet(), 300, 200, Forage);
  units.searchRadius[u] = 1;
  EXPECT_EQ(findFood(u), 0);
  units.searchRadius[u] = 2;
  for (auto [dx, dy] : {tuple{-1, -1}, {0, -1}, {-1, 1}, {0, 1}, {-1, 0}, {1, -1}, {1, 0}}) {
    ASSERT_EQ(findFood(u), 1);
    EXPECT_EQ(tuple(units.targetX[u] - 300, units.targetY[u] - 200), tuple(dx, dy));
  }
  EXPECT_EQ(findFood(u), 0);
  // A second Unit skips every claimed cell until the next generation.
  int v = place(quiet(), 300, 200, Forage);
  units.searchRadius[v] = 2;
  EXPECT_EQ(findFood(v), 0);
  stepGeneration();
  EXPECT_EQ(findFood(v), 1);
  // Ring 1 beats ring 2 whatever the stroke order; column 0 and row 0 are
  // never found.
  freshWorld();
  placeLive(598, 98), placeLive(601, 100), placeLive(0, 5), placeLive(5, 0);
  u = place(quiet(), 600, 100, Forage);
  units.searchRadius[u] = 3;
  ASSERT_EQ(findFood(u), 1);
  EXPECT_EQ(units.targetX[u], 601);
  u = place(quiet(), 1, 1, Forage);
  units.searchRadius[u] = 20;
  EXPECT_EQ(findFood(u), 0);
}

TEST_F(Rules, TheBite) {
  // A full plus: five cells, worth 10 at divisor 0.5; its neighbours' counts
  // drop with it. A centre that is not Live eats nothing.
  for (auto [dx, dy] : {tuple{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) placeLive(300 + dx, 300 + dy);
  setCell(300, 300, Dormant);
  EXPECT_EQ(eatAt(300, 300), 0.0);
  setCell(300, 300, Live);
  EXPECT_EQ(countAt(301, 301), 3);
  EXPECT_EQ(eatAt(300, 300), 10.0);
  EXPECT_EQ(countAt(301, 301), 0);
  // The corner: (0, 0) and its arms (1, 0) and (0, 1), not (1, 1).
  for (auto [x, y] : {tuple{0, 0}, {1, 0}, {0, 1}, {1, 1}}) placeLive(x, y);
  EXPECT_EQ(eatAt(0, 0), 6.0);
  EXPECT_EQ(tuple(cellAt(1, 1), countAt(2, 2)), tuple(Live, 1));
  // An eaten neighbour leaves count 2 where 3 would have given a birth.
  placeLive(500, 500), placeLive(502, 500), placeLive(501, 502);
  EXPECT_EQ(eatAt(500, 500), 2.0);
  stepGeneration();
  EXPECT_EQ(cellAt(501, 501), Empty);
  // In the tick: 1 cell at the float nearest 0.55 is worth 1.818..., which
  // adds 1; 3 cells at 0.6f slightly less than 5, which adds 4. A divisor
  // that is not positive makes the bite worthless.
  for (auto [divisor, cells, added] : {tuple{0.55f, 1, 1}, {0.6f, 3, 4}, {0.0f, 3, 0}, {-0.5f, 3, 0}}) {
    simulation.foodDivisor = divisor;
    for (int k = 0; k < cells; ++k) placeLive(399 + (k + 1) % 3, 100);
    int u = place(quiet(), 400, 100, Homeward, 10.0f);
    tickUnit(u);
    EXPECT_EQ(tuple(units.stock[u], cellAt(400, 100)), tuple(added, Empty)) << divisor;
  }
}

// --- Sowing and contests ----------------------------------------------------

TEST_F(Rules, SowingBoundsAndThresholds) {
  Genome g = quiet();
  for (int k = 20; k <= 31; ++k) g[k] = 25;
  int u = place(g, 0, 0);
  for (auto [x, y] : {tuple{2, 300}, {823, 300}, {300, 2}, {300, 523}}) EXPECT_EQ(sowPattern(x, y, u), 0);
  EXPECT_EQ(tuple(sowPattern(3, 3, u), sowPattern(822, 522, u)), tuple(12, 12));
  EXPECT_EQ(sowPattern(822, 522, u), 0) << "counts already at 3 are not counted";
  EXPECT_EQ(countAt(824, 522), 3);
  // Gene 20 enables (x - 1, y - 1) from 13 on, gene 28 (x, y - 2) from 6 on.
  for (auto [gene, low, x, y] : {tuple{20, 12, 399, 299}, {28, 5, 400, 298}}) {
    for (int k = 20; k <= 31; ++k) units.genome[u][k] = 1;
    units.genome[u][gene] = low;
    EXPECT_EQ(sowPattern(400, 300, u), 0);
    units.genome[u][gene] = low + 1;
    EXPECT_EQ(sowPattern(400, 300, u), 1);
    EXPECT_EQ(countAt(x, y), 3);
  }
  units.status[u] = Dead;
  EXPECT_EQ(sowPattern(600, 300, u), 1) << "a Dead slot sows";
  units.status[u] = Free;
  EXPECT_EQ(sowPattern(700, 300, u), 0);
}

namespace {
void fighter(int slot, int32_t x, int32_t y, float energy, int32_t kind, int32_t reach = 1) {
  units.status[slot] = Alive;
  units.posX[slot] = x, units.posY[slot] = y;
  units.energy[slot] = energy, units.stock[slot] = 0;
  units.genome[slot] = quiet();
  units.genome[slot][12] = kind, units.genome[slot][19] = reach;
}
// The contests of u through each way of finding opponents: the plain scan,
// the marked scan and the position index that a frame's ticks keep.
template <typename Setup, typename Check>
void everyPath(Setup setup, Check check) {
  for (int path = 0; path < 3; ++path) {
    resetUnitTable();
    const int u = setup();
    usePlainPaths = path == 0;
    if (path == 2) beginContactIndex();
    resolveContacts(u);
    endContactIndex();
    usePlainPaths = false;
    check(path);
  }
}
}  // namespace

TEST_F(Rules, ContestReachAtEveryBucketEdge) {
  // Foes on the four tips of the diamond of distance reach - 1 fight; those
  // one farther do not. The centres run over every offset within the
  // index's 16-cell buckets, so each tip in turn lies just across an edge.
  for (int32_t reach : {2, 7, 16, 23})
    for (int32_t c = 400; c < 416; ++c)
      everyPath(
          [&] {
            fighter(0, c, c - 100, 1000.0f, 0, reach);
            for (int k = 0; k < 8; ++k) {
              const int32_t d = k < 4 ? reach - 1 : reach, sign = k % 2 ? -1 : 1;
              fighter(1 + k, c + (k % 4 < 2 ? sign * d : 0), c - 100 + (k % 4 < 2 ? 0 : sign * d), 1.0f, 100);
            }
            return 0;
          },
          [&](int path) {
            for (int k = 1; k <= 8; ++k)
              ASSERT_EQ(units.status[k], k <= 4 ? Dead : Alive) << "reach " << reach << ", centre " << c << ", foe "
                                                                 << k << ", path " << path;
          });
}

TEST_F(Rules, ContactIndexFollowsMovesAndBirths) {
  // Units 1 to 3 share a bucket; 2 walks away and a child is born beside u:
  // u still meets 1 and 3 and the child, and not 2.
  fighter(0, 100, 100, 1000.0f, 0, 10);
  for (int k = 1; k <= 3; ++k) fighter(k, 100 + k, 101, 1.0f, 100);
  beginContactIndex();
  units.posX[2] = 600;
  placeInContactIndex(2);
  Genome g = quiet();
  g[12] = 100;
  const int child = spawnUnit(98, 100, g);
  resolveContacts(0);
  endContactIndex();
  for (auto [slot, status] : {tuple{1, Dead}, {2, Alive}, {3, Dead}, {child, Dead}})
    EXPECT_EQ(units.status[slot], status) << "slot " << slot;
}

TEST_F(Rules, ContestKinshipTiesAndOrder) {
  // u (slot 5, energy 5) meets its foes in slot order, fighting on after it
  // has lost; each winner takes the loser's energy, its stock the sum
  // truncated toward zero.
  everyPath(
      [] {
        fighter(5, 200, 200, 5.0f, 100, 20);
        fighter(0, 203, 200, -2.5f, 500);  // a loser with negative energy lowers u: 2.5, stock -2
        fighter(1, 210, 200, 8.0f, 500);   // u loses: 10.5
        fighter(2, 200, 190, 9.0f, 500);   // u loses again: 11.5
        fighter(3, 201, 200, 1.0f, 120);   // kinds 20 apart: kin
        fighter(4, 201, 201, 1.0f, 79);    // 21 apart: the Dead u fights on and wins: 3.5
        fighter(7, 195, 195, 3.0f, 500);   // wins again: 6.5
        fighter(8, 200, 205, 6.5f, 500);   // a tie goes to u: 13
        return 5;
      },
      [](int path) {
        EXPECT_EQ(tuple(units.energy[1], units.stock[1], units.energy[2], units.energy[5], units.stock[5]),
                  tuple(10.5f, 2, 11.5f, 13.0f, 8))
            << path;
        for (auto [slot, status] : {tuple{5, Dead}, {0, Dead}, {3, Alive}, {4, Dead}, {7, Dead}, {8, Dead}})
          EXPECT_EQ(units.status[slot], status) << path << ", slot " << slot;
      });
}

// --- Regulation ---------------------------------------------------------------

TEST_F(Rules, ReseedingFromEmptyAndAtFour) {
  freshWorld(777);
  for (int frame = 1; frame <= 3; ++frame) {
    regulatePopulation();
    EXPECT_EQ(at(frame - 1), tuple(units.homeX[frame - 1], units.homeY[frame - 1])) << "its own home, not (407, 262)";
    EXPECT_EQ(tuple(simulation.livingCount, evolutionLevel()), tuple(frame, 1));
  }
  // Five alive do not re-seed; at four the survivors' energy is set once to
  // twice gene 6 of the last re-seed genome, and a Unit comes in that frame.
  spawnUnit(100, 100, quiet()), spawnUnit(100, 100, quiet());
  simulation.reseeding = 0;
  const uint32_t before = randomState;
  regulatePopulation();
  EXPECT_EQ(tuple(randomState, simulation.reseeding), tuple(before, 0));
  units.status[4] = Dead;
  const float reset = (float)(2 * simulation.reseedGenome[6]);
  regulatePopulation();
  EXPECT_EQ(tuple(simulation.reseeding, units.energy[3], units.status[5]), tuple(1, reset, Alive));
  units.energy[3] = 1.0f;
  regulatePopulation();
  EXPECT_EQ(units.energy[3], 1.0f) << "reset only on entering re-seeding";
  // After the new-simulation clear every slot is Dead: the count is 0, no
  // Unit can be placed, yet the count still rises by one.
  setCell(0, 0, Live);
  clearWorld();
  regulatePopulation();
  EXPECT_EQ(tuple(simulation.livingCount, aliveCount(), liveCells()), tuple(1, 0, 0));
}

TEST_F(Rules, CullAndTheEvolutionLevel) {
  for (int k = 0; k < 801; ++k) spawnUnit(100 + k % 500, 100, quiet());
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) setCell(x, y, Live);
  simulation.reseeding = 0;
  regulatePopulation();
  EXPECT_EQ(tuple(simulation.foodDivisor, evolutionLevel()), tuple(0.55f, 2));
  EXPECT_NEAR(aliveCount() / 801.0, 0.11, 0.04);
  EXPECT_NEAR(liveCells() / (double)kCellCount, 0.31, 0.01);
  int stale = 0;  // culled cells whose Live-neighbour count was kept
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) stale += cellAt(x, y) == Empty && countAt(x, y) != 0;
  EXPECT_EQ(stale, 0);
  // From 0.5, after k single-precision additions of 0.05 the level is k + 1
  // up to k = 12, k from 13 to 84 (13 twice in a row), and 86 at 85.
  resetFoodDivisor();
  for (int k = 1; k <= 85; ++k) {
    raiseFoodDivisor();
    ASSERT_EQ(evolutionLevel(), k <= 12 ? k + 1 : k <= 84 ? k : 86) << k;
  }
}

TEST_F(Rules, RandomSowingEvent) {
  // Slot 0 sows (x, y - 1), slot 999 (x, y + 1). A draw that fires, then the
  // top raw number, which names slot 1000: the scan starts at slot 0. With
  // no Unit alive (Dead ones do not count) nothing is sown.
  units.genome[0] = units.genome[999] = quiet();
  units.genome[0][21] = units.genome[999][25] = 20;
  for (bool alive : {false, true}) {
    units.status[0] = units.status[999] = alive ? Alive : Dead;
    int32_t x = 0, y = 0;
    uint32_t start = 0;
    for (uint32_t low = 0; low < 0x10000; ++low) {
      randomState = start = stepBack(stepBack(0x7FFFu << 16 | low));
      const bool fires = randomRange(0, 30) == 1 && randomRange(0, 1000) == 1000;
      y = randomRange(2, 523), x = randomRange(2, 823);
      if (fires && x >= 3 && x <= 822 && y >= 3 && y <= 522) break;
    }
    randomState = start;
    sowAtRandom();
    EXPECT_EQ(tuple(countAt(x, y - 1), countAt(x, y + 1)), tuple(alive ? 3 : 0, 0));
  }
}

// --- Selection ----------------------------------------------------------------

TEST_F(Rules, HoverSelectionNearestAndSimilar) {
  static Selection s;
  for (int u = 0; u < kMaxUnits; ++u) units.genome[u].fill(5000 + u);  // far from all below and each other
  for (auto [u, x, y, shift] : {tuple{40, 110, 100, 0}, {12, 103, 107, 0},  // as near as 40, lower slot: primary
                                {0, 500, 500, 18}, {30, 600, 500, 36}, {50, 824, 524, 0}}) {
    units.status[u] = Alive, units.posX[u] = x, units.posY[u] = y;
    units.genome[u].fill(100);
    units.genome[u][3] += shift;  // genome distance shift / 36
  }
  struct Case { float tolerance; std::vector<int32_t> ids; } cases[] = {
      {0.0f, {12}}, {0.001f, {12, 40, 50}}, {0.5f, {12, 40, 50}}, {0.50001f, {12, 0, 40, 50}}, {2.0f, {12, 0, 30, 40, 50}}};
  for (const Case& c : cases) {
    s.clear();
    s.pickNearest(100, 100);
    s.addSimilar(c.tolerance);
    EXPECT_EQ(std::vector<int32_t>(s.ids, s.ids + c.ids.size() + 1), [&] {
      auto ids = c.ids;
      ids.push_back(-1);
      return ids;
    }()) << "tolerance " << c.tolerance;
  }
  s.clear();
  s.pickNearest(825, 525);  // the world's far corner, one beyond the last cell
  EXPECT_EQ(s.primary(), 50);
  s.pickNearest(9000, 9000);
  EXPECT_EQ(s.primary(), 50) << "nothing within 9999: element 0 stays";
  s.clear();
  s.pickNearest(824 + 9999, 524);
  EXPECT_EQ(s.primary(), -1) << "a Unit 9999 away is too far";
  s.pickNearest(824 + 9998, 524);
  EXPECT_EQ(s.primary(), 50);
  // Pruning drops the dead where they stand: the primary becomes -1.
  s.ids[1] = 30;
  units.status[50] = Dead;
  s.pruneDead();
  EXPECT_EQ(tuple(s.ids[0], s.ids[1], s.contains(30), s.contains(50)), tuple(-1, 30, 1, 0));
}
