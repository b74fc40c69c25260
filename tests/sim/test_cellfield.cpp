// The generation step against the rules. Hand-worked fields run for the fast
// step and for the plain passes; after every step each entry of every grid
// is checked against a model worked out from the rules as stated, and the
// entries a reader should see are spelled out in the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "units/units.h"
#include "world/cellfield.h"

namespace {

enum Grid { State, Next, Count, Mark, Run };

struct Entry {
  int x, y;
  Grid grid;
  int32_t value;
};

template <typename Field>
auto gridOf(Field& f, Grid g) {
  decltype(&f.cells[0]) grids[] = {f.cells, f.nextCells, f.neighbourCounts, f.claimMarks, f.skipRuns};
  return grids[g];
}
int32_t at(Grid g, int x, int y) { return gridOf(cellGrids(), g)[cellIndex(x, y)]; }

void trueCounts(CellField& f) {
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) {
      int n = 0;
      for (int nx = x - 1; nx <= x + 1; ++nx)
        for (int ny = y - 1; ny <= y + 1; ++ny)
          if ((nx != x || ny != y) && inField(nx, ny)) n += f.cells[cellIndex(nx, ny)] == Live;
      f.neighbourCounts[cellIndex(x, y)] = n;
    }
}

// What one step must leave: each next state from the cell's state and count
// (an unnamed state keeps its next entry); cells equal to the next states;
// no claim marks; the Live-neighbour counts of the new states; and skip runs
// of 0 except in a column head that is not positive, which holds the length
// of the column's leading run of non-positive cells.
void modelStep(const CellField& before, CellField& want) {
  for (int i = 0; i < kCellCount; ++i) {
    const int32_t s = before.cells[i], n = before.neighbourCounts[i];
    int32_t next = before.nextCells[i];
    if (s == Empty) next = n == 3 ? Live : Empty;
    if (s == Live) next = n == 2 || n == 3 ? Live : Empty;
    if (s == Sprout) next = Live;
    if (s == Dormant) next = n == 3 ? Live : Dormant;
    want.nextCells[i] = want.cells[i] = next;
    want.claimMarks[i] = want.skipRuns[i] = 0;
  }
  trueCounts(want);
  for (int x = 0; x < kWorldWidth; ++x) {
    int lead = 0;
    while (lead < kWorldHeight && want.cells[cellIndex(x, lead)] <= 0) ++lead;
    want.skipRuns[cellIndex(x, 0)] = lead;
  }
}

class Step : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    resetSimulation();
    simulation.foodDivisor = 0.5f;
  }
  void TearDown() override { usePlainPaths = false; }
  // An empty field with the entries written in; counts are then made true
  // except where an entry sets one.
  void build(const std::vector<Entry>& entries) {
    clearField();
    CellField& f = editCellGrids();
    for (const Entry& e : entries)
      if (e.grid != Count) gridOf(f, e.grid)[cellIndex(e.x, e.y)] = e.value;
    trueCounts(f);
    for (const Entry& e : entries)
      if (e.grid == Count) f.neighbourCounts[cellIndex(e.x, e.y)] = e.value;
  }
  void step(const std::string& what) {
    static CellField before, want;
    before = cellGrids();
    modelStep(before, want);
    usePlainPaths = GetParam();
    stepGeneration();
    usePlainPaths = false;
    const char* names[] = {"cells", "nextCells", "neighbourCounts", "claimMarks", "skipRuns"};
    for (int g = 0; g < 5; ++g) {
      const int32_t *got = gridOf(cellGrids(), (Grid)g), *rule = gridOf(want, (Grid)g);
      const int i = (int)(std::mismatch(rule, rule + kCellCount, got).first - rule);
      if (i < kCellCount)
        return ADD_FAILURE() << what << ": " << names[g] << " at (" << i / kWorldHeight << ", " << i % kWorldHeight
                             << ") is " << got[i] << ", the rules give " << rule[i];
    }
  }
  static int occupied() {
    int n = 0;
    for (int i = 0; i < kCellCount; ++i) n += cellGrids().cells[i] != Empty;
    return n;
  }
};

std::vector<Entry> live(std::initializer_list<std::pair<int, int>> cells) {
  std::vector<Entry> v;
  for (auto [x, y] : cells) v.push_back({x, y, State, Live}), v.push_back({x, y, Next, Live});
  return v;
}
std::vector<Entry> operator+(std::vector<Entry> a, const std::vector<Entry>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Worked {
  const char* name;
  std::vector<Entry> start;
  int steps;
  std::vector<Entry> after;  // spelled out after the last step
  int occupied;              // cells not Empty then
};

const Worked kWorked[] = {
    {"blinker and block, one step",
     live({{400, 250}, {401, 250}, {402, 250}, {100, 100}, {101, 100}, {100, 101}, {101, 101}}), 1,
     {{401, 249, State, Live}, {401, 251, State, Live}, {400, 250, State, Empty}, {401, 250, Count, 2},
      {400, 250, Count, 3}, {400, 249, Count, 2}, {400, 248, Count, 1}, {100, 100, Count, 3}, {100, 99, Count, 2},
      {400, 0, Run, 525}, {401, 0, Run, 249}, {100, 0, Run, 100}, {401, 250, Run, 0}},
     7},
    {"blinker, two steps", live({{400, 250}, {401, 250}, {402, 250}}), 2,
     {{400, 250, State, Live}, {402, 250, State, Live}, {401, 0, Run, 250}}, 3},
    // Sown counts of 3 bring lone cells to life; edge cells have five
    // neighbours, corners three, and nothing wraps.
    {"sown cells at the edges and corners",
     {{400, 0, Count, 3}, {0, 250, Count, 3}, {824, 100, Count, 3}, {200, 524, Count, 3}, {0, 0, Count, 3},
      {824, 524, Count, 3}, {412, 262, Count, 3}},
     1,
     {{400, 0, State, Live}, {0, 0, State, Live}, {824, 524, State, Live}, {399, 1, Count, 1}, {824, 250, Count, 0},
      {0, 100, Count, 0}, {400, 524, Count, 0}, {1, 1, Count, 1}, {823, 523, Count, 1}},
     7},
    {"blinkers along the borders shrink", live({{600, 0}, {601, 0}, {602, 0}, {0, 300}, {0, 301}, {0, 302}}), 1,
     {{601, 0, State, Live}, {601, 1, State, Live}, {0, 301, State, Live}, {1, 301, State, Live}}, 4},
    {"... and die", live({{600, 0}, {601, 0}, {602, 0}, {824, 100}, {824, 101}, {824, 102}}), 2, {}, 0},
    {"blocks in two corners stay",
     live({{0, 0}, {1, 0}, {0, 1}, {1, 1}, {823, 523}, {824, 523}, {823, 524}, {824, 524}}), 3,
     {{0, 0, Count, 3}, {824, 524, Count, 3}, {2, 0, Count, 2}, {824, 0, Count, 0}, {0, 524, Count, 0},
      {0, 0, Run, 0}, {824, 0, Run, 523}},
     8},
    // Dormant and unnamed states never count as neighbours; a Dormant cell
    // with two Live neighbours stays Dormant; a Sprout grows whatever its count.
    {"Dormant, Sprout and unnamed among Live cells",
     live({{500, 100}, {502, 100}}) + std::vector<Entry>{{500, 100, Count, 3}, {502, 100, Count, 3},
                                                         {501, 100, State, Dormant}, {501, 102, State, Dormant},
                                                         {500, 102, State, 5}, {500, 102, Next, 5},
                                                         {502, 102, State, Sprout}},
     1,
     {{500, 100, State, Live}, {501, 100, State, Dormant}, {501, 102, State, Dormant}, {500, 102, State, 5},
      {502, 102, State, Live}, {501, 100, Count, 2}, {501, 101, Count, 3}, {501, 103, Count, 1}, {500, 101, Count, 1},
      {500, 100, Count, 0}},
     6},
    // Runs: five empty rows above column 10's block, none under column 11's
    // positive head, the whole column where nothing is positive (-7 is not).
    // Loaded runs do not matter.
    {"runs left by a step",
     live({{10, 5}, {11, 5}, {10, 6}, {11, 6}}) +
         std::vector<Entry>{{10, 20, State, Dormant}, {11, 0, State, 5}, {11, 0, Next, 5}, {12, 3, State, -7},
                            {12, 3, Next, -7}, {10, 0, Run, 524}, {11, 0, Run, 3}, {10, 5, Run, 1}, {10, 6, Run, 400},
                            {12, 100, Run, -9}, {300, 0, Run, 77}},
     1,
     {{10, 0, Run, 5}, {11, 0, Run, 0}, {12, 0, Run, 525}, {9, 0, Run, 525}, {10, 5, Run, 0}, {10, 4, Count, 2},
      {9, 4, Count, 1}, {12, 5, Count, 2}, {10, 5, Count, 3}, {11, 1, Count, 0}},
     7},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(CellField, Step, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Plain" : "Fast"; });

TEST_P(Step, HandWorkedFields) {
  for (const Worked& w : kWorked) {
    SCOPED_TRACE(w.name);
    build(w.start);
    for (int s = 1; s <= w.steps; ++s) step(std::string(w.name) + ", step " + std::to_string(s));
    for (const Entry& e : w.after) EXPECT_EQ(at(e.grid, e.x, e.y), e.value) << "(" << e.x << ", " << e.y << ")";
    EXPECT_EQ(occupied(), w.occupied);
  }
}

TEST_P(Step, NextStateOfEveryKindOfCell) {
  struct Case { int32_t state, next, count, after; };
  const Case cases[] = {
      {Empty, 0, 3, Live}, {Empty, 0, 2, Empty}, {Empty, 0, 4, Empty}, {Empty, 0, -1, Empty},
      {Empty, 0, INT32_MIN, Empty}, {Live, 0, 3, Live}, {Live, 0, 2, Live}, {Live, 1, 1, Empty},
      {Live, 1, 4, Empty}, {Live, 1, -1, Empty}, {Sprout, 0, 0, Live}, {Sprout, 5, 8, Live},
      {Sprout, 0, INT32_MIN, Live}, {Dormant, 0, 2, Dormant}, {Dormant, 0, 3, Live}, {Dormant, 0, -3, Dormant},
      // Unnamed states: the next state keeps whatever it held.
      {2, 0, 3, Empty}, {2, 2, 0, 2}, {5, Live, 0, Live}, {-7, Sprout, 3, Sprout}, {INT32_MIN, INT32_MIN, 3, INT32_MIN},
      {INT32_MAX, Dormant, 2, Dormant}, {3, 3, 3, 3}, {7, 9, 2, 9},
  };
  // One case every third column, too far apart to meet.
  std::vector<Entry> start;
  for (size_t k = 0; k < std::size(cases); ++k) {
    const int x = 10 + 3 * (int)k;
    start.insert(start.end(),
                 {{x, 200, State, cases[k].state}, {x, 200, Next, cases[k].next}, {x, 200, Count, cases[k].count}});
  }
  build(start);
  step("first step");
  for (size_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(at(State, 10 + 3 * (int)k, 200), cases[k].after) << "case " << k;
  step("second step");  // lone Live cells die, the Sprout a -7 handed on grows
}

TEST_P(Step, HeadEmptyForManyGenerationsThenLive) {
  // A block deep in columns 50-51 keeps their heads Empty; then a block is
  // sown at the top. The step must still count the deep block from the
  // Live heads, and a positive head that is not Live (column 70) too.
  build(live({{50, 300}, {51, 300}, {50, 301}, {51, 301}, {70, 200}, {70, 201}, {70, 202}}) +
        std::vector<Entry>{{52, 400, State, Dormant}, {70, 0, State, Dormant}});
  for (int s = 1; s <= 8; ++s) step("quiet heads, step " + std::to_string(s));
  EXPECT_EQ(at(Grid::Run, 50, 0), 300);
  EXPECT_EQ(at(Grid::Run, 52, 0), 400);
  for (int x : {50, 51})
    for (int y : {0, 1}) setNeighbourCount(x, y, 3);
  for (int s = 1; s <= 4; ++s) step("live heads, step " + std::to_string(s));
  EXPECT_EQ(at(State, 50, 0), Live);
  EXPECT_EQ(at(Count, 50, 300), 3);
  EXPECT_EQ(at(Count, 52, 300), 2);
  EXPECT_EQ(at(Count, 70, 201), 2);
  EXPECT_EQ(occupied(), 13);
}

TEST_P(Step, ClaimsAndZeroedCounts) {
  build(live({{300, 300}, {301, 300}, {302, 300}}));
  for (auto [x, y] : {std::pair{301, 300}, {0, 0}, {824, 524}, {700, 10}}) markClaim(x, y);
  step("a few marks");
  // More marks than the field keeps a list of.
  for (int x = 0; x < kWorldWidth; x += 3)
    for (int y = 0; y < kWorldHeight; y += 17) markClaim(x, y);
  step("many marks");
  // Every state and count set to 0, as a new simulation does: the field
  // stays empty unless sown.
  for (int sown = 0; sown < 2; ++sown) {
    CellField& f = editCellGrids();
    std::fill(f.cells, f.cells + kCellCount, 0);
    std::fill(f.neighbourCounts, f.neighbourCounts + kCellCount, 0);
    if (sown) setNeighbourCount(10, 10, 3);
    step("after zeroing");
    EXPECT_EQ(occupied(), sown);
  }
}

TEST_P(Step, EatingIsAsIfTheCellsHadBeenEmpty) {
  // Soups on the top edge and in a corner; bites at every seventh Live cell.
  std::vector<Entry> soup;
  uint32_t r = 5;
  for (int x = 0; x < 440; ++x)
    for (int y = 0; y < kWorldHeight; ++y)
      if (((x >= 380 && y < 50) || (x < 40 && y >= 480)) && (r = r * 1664525u + 1013904223u) >> 24 < 100)
        soup.insert(soup.end(), {{x, y, State, Live}, {x, y, Next, Live}});
  build(soup);
  step("soup");
  static CellField start, bitten, after[2];
  start = cellGrids();
  int bites = 0;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y)
      if (cellState(x, y) == Live && ++bites % 7 == 0) eatAt(x, y);
  bitten = cellGrids();
  for (CellField& f : after) step("after eating"), f = cellGrids();
  // The eaten cells Empty already in the step before, the counts recounted:
  // they are the counts that eating left, and the same steps follow.
  CellField& f = editCellGrids();
  f = start;
  for (int i = 0; i < kCellCount; ++i)
    if (start.cells[i] == Live && bitten.cells[i] == Empty) f.cells[i] = f.nextCells[i] = Empty;
  trueCounts(f);
  EXPECT_TRUE(std::equal(f.neighbourCounts, f.neighbourCounts + kCellCount, bitten.neighbourCounts));
  for (const CellField& want : after) {
    step("eaten beforehand");
    EXPECT_EQ(std::memcmp(&cellGrids(), &want, sizeof want), 0);
  }
}

TEST_P(Step, SownAndCulledCountsBelowZero) {
  // A horizontal blinker whose right cell and one count were culled; the
  // bite at its centre eats the centre and its left arm.
  build(live({{300, 300}, {301, 300}, {302, 300}}));
  CellField& f = editCellGrids();
  f.cells[cellIndex(302, 300)] = f.neighbourCounts[cellIndex(302, 300)] = f.neighbourCounts[cellIndex(301, 301)] = 0;
  EXPECT_EQ(eatAt(301, 300), 4.0);
  EXPECT_EQ(at(Count, 301, 301), -2);
  EXPECT_EQ(at(Count, 301, 299), 1);  // 3, less the two eaten; the culled cell was never subtracted
  step("after the bite");
  EXPECT_EQ(occupied(), 0);
  // An Empty cell whose sown 3 a bite lowered is not born.
  build(live({{400, 400}, {401, 400}}) + std::vector<Entry>{{400, 401, Count, 3}});
  eatAt(401, 400);
  EXPECT_EQ(at(Count, 400, 401), 1);
  step("sown cell beside a bite");
  EXPECT_EQ(occupied(), 0);
}
