// The fast paths of the simulation against the plain ones: from the same
// world and seed both must leave every grid entry, every unit field and the
// random generator alike after every round of frames or steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

struct Lcg {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u, s >> 8; }
};

const char* const kParts[] = {"cells", "nextCells", "neighbourCounts", "claimMarks", "skipRuns", "units", "globals"};

uint64_t hashWords(const void* data, size_t bytes) {
  uint64_t h = 1469598103934665603ull, w;
  for (size_t i = 0; i + 8 <= bytes; i += 8) std::memcpy(&w, (const char*)data + i, 8), h = (h ^ w) * 1099511628211ull;
  return h;
}

std::vector<uint64_t> digest() {
  const CellField& f = cellGrids();
  std::vector<unsigned char> globals = simulationStateBytes();
  globals.resize((globals.size() + 7) / 8 * 8);
  return {hashWords(f.cells, sizeof f.cells),     hashWords(f.nextCells, sizeof f.cells),
          hashWords(f.neighbourCounts, sizeof f.cells), hashWords(f.claimMarks, sizeof f.cells),
          hashWords(f.skipRuns, sizeof f.cells),  hashWords(&units, sizeof units),
          hashWords(globals.data(), globals.size())};
}

void frames(int n) {
  for (int i = 0; i < n; ++i) simulateFrame(), regulatePopulation();
}

// Between steps, what Units and files do to a field: bites, sowing, claims,
// and now and then cells and counts written straight into the grids.
void stepWithOps(int round) {
  Lcg ops{(uint32_t)round * 7919u + 1};
  units.status[0] = Alive;
  units.genome[0].fill(20);
  for (int k = 0; k < 60; ++k) {
    const int x = (int)(ops.next() % kWorldWidth), y = (int)(ops.next() % kWorldHeight);
    switch (ops.next() % 4) {
      case 0: eatAt(x, y); break;
      case 1: sowPattern(x, y, 0); break;
      case 2: markClaim(x, y); break;
      default:
        if (round % 4 == 3) {
          static const int32_t states[] = {Empty, Live, Live, Sprout, Dormant, 5, -7};
          editCellGrids().cells[cellIndex(x, y)] = states[ops.next() % 7];
          editCellGrids().neighbourCounts[cellIndex(x, y)] = (int32_t)(ops.next() % 7) - 2;
        }
    }
  }
  stepGeneration();
}

// Worlds that no ordinary run makes quickly.
void crowded() {
  seedRandom(11);
  frames(1200);
}
void crowdedKin() {
  crowded();
  for (int u = 0; u < kMaxUnits; ++u) {
    units.genome[u][12] = u % 9 ? 1600 : 100 + u;  // one kin, and a few foreigners to fight
    units.genome[u][13] = 2000000000;
    if (units.mode[u] == Breed) units.mode[u] = Homeward;
  }
}
void culled() {
  crowded();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] != Alive) spawnUnit(units.posX[u % 50], units.posY[u % 50], units.genome[u % 50]);
}
void hostile() {
  crowded();
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
  // Units at the limits of the coordinates, beside ones in the field.
  const int32_t limits[][2] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {0, INT32_MAX},
                               {INT32_MIN, 0},         {INT32_MAX, INT32_MAX}, {400, 300}};
  for (int k = 0; k < 6; ++k) {
    const int u = 1 + k;
    units.status[u] = Alive;
    units.posX[u] = limits[k][0], units.posY[u] = limits[k][1];
    units.genome[u][19] = k % 2 ? INT32_MAX : INT32_MIN;
    units.genome[u][12] = k % 2 ? INT32_MIN : INT32_MAX;
    units.energy[u] = k % 2 ? 3.0e38f : -3.0e38f;
  }
  CellField& f = editCellGrids();
  for (int i = 0; i < kCellCount; i += 13) f.cells[i] = (int32_t)(rng.next() % 12) - 2;
}
// Many Units just beyond the edges of the field, where contests find them
// with those at the edge, and some far beyond one edge, with small reaches
// and two kinds.
void beyondEdges() {
  crowded();
  Lcg rng{9};
  for (int u = 0; u < kMaxUnits; u += 2) {
    units.status[u] = Alive;
    const int32_t out = -(int32_t)(rng.next() % 60) - 1, along = (int32_t)(rng.next() % 900) - 40;
    switch (rng.next() % 4) {
      case 0: units.posX[u] = out, units.posY[u] = along % kWorldHeight; break;
      case 1: units.posX[u] = kWorldWidth - 1 - out, units.posY[u] = along % kWorldHeight; break;
      case 2: units.posX[u] = along, units.posY[u] = out; break;
      default: units.posX[u] = along, units.posY[u] = kWorldHeight - 1 - out;
    }
    units.genome[u][19] = (int32_t)(rng.next() % 30);
    units.genome[u][12] = rng.next() % 2 ? 1000 : 1100;
    units.energy[u] = (float)(rng.next() % 5000);
  }
  // And some far out along one axis only, beside one another.
  for (int k = 0; k < 40; ++k) {
    const int u = 1 + 2 * k, far = k % 2 ? 100000 + k % 3 : -100000 - k % 3, along = 100 + k % 5;
    units.posX[u] = k < 20 ? far : along, units.posY[u] = k < 20 ? along : far;
    units.genome[u][19] = 5, units.genome[u][12] = k % 4 < 2 ? 1000 : 1100;
    units.status[u] = Alive, units.energy[u] = (float)(k + 1);
  }
}
void denseSoup() {
  Lcg rng{1};
  CellField& f = editCellGrids();
  for (int i = 0; i < kCellCount; ++i) f.cells[i] = rng.next() % 100 < 35 ? Live : Empty;
}
void sparseEdges() {
  CellField& f = editCellGrids();
  for (auto [x, y] : {std::pair{0, 0}, {822, 0}, {0, 522}, {822, 522}, {400, 0}, {0, 260}, {412, 262}, {822, 100}})
    for (int d = 0; d < 3; ++d) f.cells[cellIndex(x + d, y)] = f.cells[cellIndex(x, y + 1 + d / 2)] = Live;
}
// Any value in any grid, as only a file brings.
void hostileField() {
  Lcg rng{7};
  CellField& f = editCellGrids();
  static const int32_t states[] = {0, 0, 0, 1, 1, -1, 8, 5, -7, 2, INT32_MIN, INT32_MAX};
  for (int i = 0; i < kCellCount; ++i) {
    f.cells[i] = states[rng.next() % 12];
    f.nextCells[i] = (int32_t)(rng.next() % 11) - 5;
    f.neighbourCounts[i] = (int32_t)(rng.next() % 9) - 2;
    f.claimMarks[i] = (int32_t)(rng.next() % 5 == 0) * (int32_t)(rng.next() % 3 + 1);
    f.skipRuns[i] = (int32_t)(rng.next() % 1000) - 100;
  }
}

struct Case {
  const char* name;
  uint32_t seed;
  void (*world)();
  int rounds;
  void (*round)(int);
  // Rules besides the defaults: the kin tolerance sets the contests' common
  // case, which a tolerance past 16 bits leaves to the wide path.
  int32_t kinTolerance = 20;
  int32_t cullAt = 800;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

void hundredFrames(int) { frames(100); }
void noWorld() {}

const Case kCases[] = {
    {"seed1", 1, noWorld, 15, hundredFrames},         {"seed2", 2, noWorld, 15, hundredFrames},
    {"seed3", 3, noWorld, 15, hundredFrames},         {"crowded", 4, crowded, 4, hundredFrames},
    {"crowdedKin", 4, crowdedKin, 3, hundredFrames},  {"culled", 4, culled, 2, hundredFrames},
    {"hostile", 4, hostile, 4, hundredFrames},        {"beyondEdges", 4, beyondEdges, 2, hundredFrames},        {"denseSoupSteps", 4, denseSoup, 30, stepWithOps},
    {"sparseEdgeSteps", 4, sparseEdges, 40, stepWithOps}, {"hostileFieldSteps", 4, hostileField, 20, stepWithOps},
    {"kinTolerance0", 5, noWorld, 8, hundredFrames, 0, 300},
    {"kinTolerance100Culled", 4, crowdedKin, 3, hundredFrames, 100, 300},
    {"kinTolerance3000", 4, crowded, 3, hundredFrames, 3000},
    {"kinTolerance32766Hostile", 4, hostile, 3, hundredFrames, 32766},
    {"kinToleranceWideBeyondEdges", 4, beyondEdges, 2, hundredFrames, 40000},
    {"kinToleranceLargestHostile", 4, hostile, 2, hundredFrames, INT32_MAX},
};

// What is wrong with the packed field's list of words to visit, if anything:
// each word with an exception listed once (unless the list ran over).
std::string wordListProblem() {
  using namespace world_detail;
  const WordList& list = packed.exceptionWords;
  if (gridsAreTruth || list.overflow) return "";
  std::vector<bool> listed(sizeof(BitPlane) / sizeof(uint64_t));
  for (int n = 0; n < list.count; ++n) {
    if (listed[(size_t)list.words[n]]) return "word " + std::to_string(list.words[n]) + " twice";
    listed[(size_t)list.words[n]] = true;
  }
  for (size_t k = 0; k < listed.size(); ++k)
    if (hasException((int)k) && !listed[k]) return "word " + std::to_string(k) + " missing";
  return "";
}

std::vector<std::vector<uint64_t>> run(const Case& c, bool plain) {
  rules = SimulationParams{};
  rules.kinTolerance = c.kinTolerance;
  rules.cullAt = c.cullAt;
  resetSimulation();
  c.world();
  unitTableChanged();  // the worlds write the unit table directly
  seedRandom(c.seed);
  usePlainPaths = plain;
  std::vector<std::vector<uint64_t>> digests;
  for (int r = 0; r < c.rounds; ++r) {
    c.round(r), digests.push_back(digest());
    if (!plain) {
      EXPECT_EQ(wordListProblem(), "") << c.name << ", round " << r + 1;
    }
  }
  usePlainPaths = false;
  return digests;
}

class FastPaths : public ::testing::TestWithParam<Case> {};

// The food search as the rules describe it: rings 0 .. R-1, four half-open
// strokes each, the first live unclaimed cell in columns 1..824 and rows
// 1..524 wins. Rings farther out than |px| + |py| + 900 miss the field.
bool searchFound(int32_t (&at)[2], int64_t px, int64_t py, int64_t radius) {
  auto qualifies = [](int64_t x, int64_t y) {
    return x >= 1 && x < kWorldWidth && y >= 1 && y < kWorldHeight && cellState((int)x, (int)y) == Live &&
           claimMark((int)x, (int)y) == 0;
  };
  const int64_t rings = std::min<int64_t>(radius, std::llabs(px) + std::llabs(py) + 900);
  for (int64_t r = 0; r < rings; ++r) {
    for (int64_t y : {py - r, py + r})
      for (int64_t x = std::max<int64_t>(px - r, 1); x <= std::min<int64_t>(px + r - 1, kWorldWidth - 1); ++x)
        if (qualifies(x, y)) return at[0] = (int32_t)x, at[1] = (int32_t)y, true;
    for (int64_t x : {px - r, px + r})
      for (int64_t y = std::max<int64_t>(py - r, 1); y <= std::min<int64_t>(py + r - 1, kWorldHeight - 1); ++y)
        if (qualifies(x, y)) return at[0] = (int32_t)x, at[1] = (int32_t)y, true;
  }
  return false;
}

}  // namespace

TEST_P(FastPaths, LeaveWhatThePlainPathsLeave) {
  const auto plain = run(GetParam(), true), fast = run(GetParam(), false);
  for (int r = 0; r < GetParam().rounds; ++r)
    for (size_t part = 0; part < std::size(kParts); ++part)
      ASSERT_EQ(fast[r][part], plain[r][part]) << kParts[part] << " differ after round " << r + 1;
}

INSTANTIATE_TEST_SUITE_P(Worlds, FastPaths, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(FoodSearch, BothPathsMatchTheLiteralRingWalk) {
  // Positions near the ends of the 64-row words and far outside the field;
  // radii around the 32-ring windows and at the ends of the integers.
  std::vector<std::array<int32_t, 2>> positions = {
      {412, 262}, {1, 1},     {0, 0},      {824, 524}, {830, 600}, {-50, 262}, {412, -3000}, {3000, 3000},
      {-1000, -1000}, {5, 520}, {824, 1},  {100, 524}, {30, 31},   {40, 96},   {800, 540},   {200, 556},
      {300, -31}, {812, -32}, {-20, 90},   {843, 300}, {412, 191}, {600, 447}, {700, 192},   {90, 448}};
  Lcg place{5};  // and anywhere in and around the field
  for (int k = 0; k < 40; ++k)
    positions.push_back({(int32_t)(place.next() % 900) - 40, (int32_t)(place.next() % 600) - 40});
  const int32_t radii[] = {0, 1, 2, 3, 7, 30, 32, 33, 200, 825, 2000, 100000, INT_MAX, 1000000000, -5, INT_MIN, -1};
  Genome g;
  g.fill(1);
  // Food far away, near, or only in the first row of every other 64-row word
  // (where a column's search up through a word ends), beyond the near search
  // from the rows between.
  for (uint32_t oneIn : {3000u, 600u, 0u})
    for (bool plain : {false, true}) {
      SCOPED_TRACE(testing::Message() << (plain ? "plain paths, " : "fast paths, ") << "food 1 in " << oneIn);
      rules = SimulationParams{};
      resetSimulation();
      Lcg rng{plain ? 17u : 29u};
      CellField& f = editCellGrids();
      for (int i = 0; i < kCellCount; ++i) {
        uint32_t r = rng.next() % (oneIn ? oneIn : 4);
        if (oneIn == 0 && i % kWorldHeight % 128 != 0) r = 3;
        f.cells[i] = r == 0 ? Live : r == 1 ? Dormant : r == 2 ? Sprout : Empty;
      }
      for (int k = 0; k < 40; ++k) markClaim((int)(rng.next() % kWorldWidth), (int)(rng.next() % kWorldHeight));
      usePlainPaths = plain;
      const int u = spawnUnit(0, 0, g);
      int successes = 0;
      for (auto& p : positions)
        for (int32_t radius : radii) {
          SCOPED_TRACE(testing::Message() << "(" << p[0] << ", " << p[1] << ") radius " << radius);
          units.posX[u] = p[0], units.posY[u] = p[1], units.searchRadius[u] = radius;
          units.targetX[u] = -77, units.targetY[u] = -88;
          unitTableChanged();
          int32_t want[2] = {-77, -88};
          const bool found = searchFound(want, p[0], p[1], radius);
          ASSERT_EQ(findFood(u), found ? 1 : 0);
          EXPECT_EQ(units.targetX[u], want[0]);
          EXPECT_EQ(units.targetY[u], want[1]);
          if (found) {
            ++successes;
            EXPECT_EQ(claimMark(want[0], want[1]), 1);
          }
        }
      EXPECT_GT(successes, 40);
      usePlainPaths = false;
    }
}
