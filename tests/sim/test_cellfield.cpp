// The cell field's generation step, checked against the rules rather than
// against another implementation: hand-worked patterns at the interior,
// edges and corners, the extra and unnamed states, sown and eaten counts,
// and every grid entry a step leaves behind (skipRuns included). Each check
// runs for the fast step and for the plain passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "units/units.h"
#include "world/cellfield.h"

namespace {

using Cell = std::pair<int, int>;
using CellMap = std::map<Cell, int32_t>;

int32_t& cellAt(int x, int y) { return field.cells[cellIndex(x, y)]; }
int32_t& nextAt(int x, int y) { return field.nextCells[cellIndex(x, y)]; }
int32_t& countAt(int x, int y) { return field.neighbourCounts[cellIndex(x, y)]; }
int32_t& runAt(int x, int y) { return field.skipRuns[cellIndex(x, y)]; }

// Writes outside the step, each followed by the touch the fast step needs.
void putCell(int x, int y, int32_t state) {
  cellAt(x, y) = state;
  touchCells(x, y, 0);
}
void putCount(int x, int y, int32_t count) {
  countAt(x, y) = count;
  touchCells(x, y, 0);
}
// A Live cell together with the counts a recount would have given it.
void placeLive(int x, int y) {
  putCell(x, y, Live);
  for (int nx = x - 1; nx <= x + 1; ++nx)
    for (int ny = y - 1; ny <= y + 1; ++ny)
      if ((nx != x || ny != y) && inField(nx, ny)) ++countAt(nx, ny);
  touchCells(x, y, 1);
}

// Every cell whose state is not Empty.
CellMap occupied() {
  CellMap m;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y)
      if (cellAt(x, y) != Empty) m[{x, y}] = cellAt(x, y);
  return m;
}

CellMap liveMap(std::initializer_list<Cell> cells) {
  CellMap m;
  for (auto& c : cells) m[c] = Live;
  return m;
}

struct Grids {
  std::vector<int32_t> cells, next, counts, marks, runs;
};

// Copies of the whole field. The buffers are reused where possible: fresh
// pages cost more than the copying.
void snapshot(Grids& g) {
  g.cells.assign(field.cells, field.cells + kCellCount);
  g.next.assign(field.nextCells, field.nextCells + kCellCount);
  g.counts.assign(field.neighbourCounts, field.neighbourCounts + kCellCount);
  g.marks.assign(field.claimMarks, field.claimMarks + kCellCount);
  g.runs.assign(field.skipRuns, field.skipRuns + kCellCount);
}
Grids snapshot() {
  Grids g;
  snapshot(g);
  return g;
}

// What one step must leave, from the grids before it, worked out from the
// rules as stated: the new state of each cell from its state and count;
// cells equal to the new states; no claim marks; each count the number of
// Live cells among the in-field neighbours; and skipRuns 0 everywhere but in
// a column head that is not positive, which keeps the length of the
// column's leading run of non-positive cells (525 for a column without a
// positive cell).
int32_t newState(int32_t state, int32_t count, int32_t previousNext) {
  switch (state) {
    case Empty: return count == 3 ? Live : Empty;
    case Live: return count == 2 || count == 3 ? Live : Empty;
    case Sprout: return Live;
    case Dormant: return count == 3 ? Live : Dormant;
    default: return previousNext;
  }
}

void trueCounts(const int32_t* cells, std::vector<int32_t>& counts) {
  counts.assign(kCellCount, 0);
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) {
      if (cells[cellIndex(x, y)] != Live) continue;
      for (int nx = x - 1; nx <= x + 1; ++nx)
        for (int ny = y - 1; ny <= y + 1; ++ny)
          if ((nx != x || ny != y) && inField(nx, ny)) ++counts[cellIndex(nx, ny)];
    }
}
std::vector<int32_t> trueCounts(const std::vector<int32_t>& cells) {
  std::vector<int32_t> counts;
  trueCounts(cells.data(), counts);
  return counts;
}

void afterStep(const Grids& before, Grids& want) {
  want.next.resize(kCellCount);
  for (int i = 0; i < kCellCount; ++i) want.next[i] = newState(before.cells[i], before.counts[i], before.next[i]);
  want.cells = want.next;
  want.marks.assign(kCellCount, 0);
  trueCounts(want.cells.data(), want.counts);
  want.runs.assign(kCellCount, 0);
  for (int x = 0; x < kWorldWidth; ++x) {
    int lead = 0;
    while (lead < kWorldHeight && want.cells[cellIndex(x, lead)] <= 0) ++lead;
    want.runs[cellIndex(x, 0)] = lead;
  }
}

std::string firstDifference(const Grids& a, const Grids& b) {
  const char* names[] = {"cells", "nextCells", "neighbourCounts", "claimMarks", "skipRuns"};
  const std::vector<int32_t>* ga[] = {&a.cells, &a.next, &a.counts, &a.marks, &a.runs};
  const std::vector<int32_t>* gb[] = {&b.cells, &b.next, &b.counts, &b.marks, &b.runs};
  for (int g = 0; g < 5; ++g) {
    if (*ga[g] == *gb[g]) continue;
    for (int i = 0; i < kCellCount; ++i)
      if ((*ga[g])[i] != (*gb[g])[i])
        return std::string(names[g]) + " at (" + std::to_string(i / kWorldHeight) + ", " +
               std::to_string(i % kWorldHeight) + "): " + std::to_string((*ga[g])[i]) + ", expected " +
               std::to_string((*gb[g])[i]);
  }
  return "";
}

// A small deterministic source for soups.
struct Lcg {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u, s >> 8; }
};

class CellFieldStep : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    resetSimulation();
    usePlainPaths = false;
    foodDivisor = 0.5f;
  }
  void TearDown() override {
    usePlainPaths = false;
    clearField();
  }
  bool plain() const { return GetParam(); }
  void step() {
    if (plain())
      stepGenerationPlain();
    else
      stepGeneration();
  }
  // One step, with every entry of every grid checked against the rules.
  void checkedStep(const std::string& what) {
    static Grids before, want, now;
    snapshot(before);
    afterStep(before, want);
    step();
    snapshot(now);
    std::string difference = firstDifference(now, want);
    EXPECT_EQ(difference, "") << what;
  }
};

std::string variantName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Plain" : "Fast"; }

}  // namespace

INSTANTIATE_TEST_SUITE_P(CellField, CellFieldStep, ::testing::Values(false, true), variantName);

TEST_P(CellFieldStep, BlinkerAndBlockThroughGenerations) {
  for (int x = 400; x <= 402; ++x) placeLive(x, 250);
  placeLive(100, 100), placeLive(101, 100), placeLive(100, 101), placeLive(101, 101);
  const CellMap block = liveMap({{100, 100}, {101, 100}, {100, 101}, {101, 101}});
  CellMap horizontal = liveMap({{400, 250}, {401, 250}, {402, 250}});
  CellMap vertical = liveMap({{401, 249}, {401, 250}, {401, 251}});
  horizontal.insert(block.begin(), block.end());
  vertical.insert(block.begin(), block.end());

  for (int gen = 1; gen <= 6; ++gen) {
    checkedStep("generation " + std::to_string(gen));
    ASSERT_EQ(occupied(), gen % 2 ? vertical : horizontal) << "generation " << gen;
    // The blinker's centre has two neighbours in both phases; each block
    // cell three.
    EXPECT_EQ(countAt(401, 250), 2);
    EXPECT_EQ(countAt(100, 100), 3);
    EXPECT_EQ(countAt(101, 101), 3);
    if (gen == 1) {
      // Worked by hand around the vertical phase.
      EXPECT_EQ(countAt(400, 250), 3);  // born next
      EXPECT_EQ(countAt(402, 250), 3);
      EXPECT_EQ(countAt(400, 249), 2);
      EXPECT_EQ(countAt(400, 248), 1);
      EXPECT_EQ(countAt(401, 248), 1);
      EXPECT_EQ(countAt(402, 252), 1);
      EXPECT_EQ(countAt(401, 249), 1);
      EXPECT_EQ(countAt(99, 99), 1);
      EXPECT_EQ(countAt(100, 99), 2);
      EXPECT_EQ(countAt(102, 100), 2);
      EXPECT_EQ(runAt(401, 249), 0);
      EXPECT_EQ(runAt(401, 251), 0);
    }
    // Column heads: the vertical phase leaves columns 400 and 402 empty.
    EXPECT_EQ(runAt(400, 0), gen % 2 ? 525 : 250);
    EXPECT_EQ(runAt(401, 0), gen % 2 ? 249 : 250);
    EXPECT_EQ(runAt(402, 0), gen % 2 ? 525 : 250);
    EXPECT_EQ(runAt(100, 0), 100);
  }
}

TEST_P(CellFieldStep, BlinkersAgainstTheBorderDieOut) {
  // The field does not wrap: a blinker lying along an edge has no cells
  // beyond it to grow into, so it shrinks to a domino and then dies.
  for (int x = 600; x <= 602; ++x) placeLive(x, 0);                  // top edge
  for (int x = 200; x <= 202; ++x) placeLive(x, kWorldHeight - 1);   // bottom edge
  for (int y = 300; y <= 302; ++y) placeLive(0, y);                  // left edge
  for (int y = 100; y <= 102; ++y) placeLive(kWorldWidth - 1, y);    // right edge
  checkedStep("first generation");
  EXPECT_EQ(occupied(), liveMap({{601, 0}, {601, 1}, {201, 524}, {201, 523}, {0, 301}, {1, 301}, {824, 101}, {823, 101}}));
  checkedStep("second generation");
  EXPECT_EQ(occupied(), CellMap{});
}

TEST_P(CellFieldStep, EdgeAndCornerNeighbourCounts) {
  // A cell born from a sown count raises exactly its in-field neighbours.
  struct Spot { int x, y, neighbours; };
  const Spot spots[] = {{400, 250, 8}, {400, 0, 5},   {400, 524, 5}, {0, 250, 5},   {824, 250, 5},
                        {0, 0, 3},     {824, 0, 3},   {0, 524, 3},   {824, 524, 3}, {1, 1, 8}};
  for (const Spot& s : spots) {
    SCOPED_TRACE("cell (" + std::to_string(s.x) + ", " + std::to_string(s.y) + ")");
    clearField();
    putCount(s.x, s.y, 3);
    checkedStep("birth");
    ASSERT_EQ(cellAt(s.x, s.y), Live);
    long long total = 0;
    for (int x = 0; x < kWorldWidth; ++x)
      for (int y = 0; y < kWorldHeight; ++y) {
        int near = std::abs(x - s.x) <= 1 && std::abs(y - s.y) <= 1 && (x != s.x || y != s.y);
        if (countAt(x, y) != near) ADD_FAILURE() << "count at (" << x << ", " << y << "): " << countAt(x, y);
        total += countAt(x, y);
      }
    EXPECT_EQ(total, s.neighbours);
    checkedStep("the lone cell dies");
    EXPECT_EQ(occupied(), CellMap{});
  }

  // Blocks in two corners: the outer ring takes part like any other cell.
  clearField();
  for (int x : {0, 1})
    for (int y : {0, 1}) placeLive(x, y), placeLive(823 + x, 523 + y);
  const CellMap blocks = liveMap({{0, 0}, {1, 0}, {0, 1}, {1, 1}, {823, 523}, {824, 523}, {823, 524}, {824, 524}});
  for (int gen = 1; gen <= 3; ++gen) {
    checkedStep("corner blocks, generation " + std::to_string(gen));
    EXPECT_EQ(occupied(), blocks);
    EXPECT_EQ(countAt(0, 0), 3);
    EXPECT_EQ(countAt(824, 524), 3);
    EXPECT_EQ(countAt(2, 0), 2);
    EXPECT_EQ(countAt(824, 0), 0);  // nothing wraps across to the first column
    EXPECT_EQ(countAt(0, 524), 0);
    EXPECT_EQ(runAt(0, 0), 0);
    EXPECT_EQ(runAt(824, 0), 523);
  }
}

TEST_P(CellFieldStep, SownCountsExtraAndUnnamedStates) {
  struct Case { int32_t state, next, count, after; };
  const Case cases[] = {
      // Empty: born on exactly 3, with or without Live neighbours.
      {Empty, 0, 3, Live}, {Empty, 0, 2, Empty}, {Empty, 0, 4, Empty}, {Empty, 0, -1, Empty},
      {Empty, 0, INT32_MIN, Empty}, {Empty, 0, INT32_MAX, Empty},
      // Live: survives on 2 or 3 (a sown 3 keeps a lone cell alive).
      {Live, 0, 3, Live}, {Live, 0, 2, Live}, {Live, 1, 1, Empty}, {Live, 1, 0, Empty}, {Live, 1, 4, Empty},
      {Live, 1, -1, Empty},
      // Sprout: Live whatever its count.
      {Sprout, 0, 0, Live}, {Sprout, 0, 3, Live}, {Sprout, 5, 8, Live}, {Sprout, 0, -5, Live},
      {Sprout, 0, INT32_MIN, Live},
      // Dormant: Live on 3, otherwise Dormant; it never dies.
      {Dormant, 0, 2, Dormant}, {Dormant, 0, 3, Live}, {Dormant, 0, 0, Dormant}, {Dormant, 0, 4, Dormant},
      {Dormant, 0, -3, Dormant},
      // Unnamed values: the next state keeps whatever it held.
      {2, 0, 3, Empty}, {2, 2, 0, 2}, {5, 5, 3, 5}, {5, Live, 0, Live}, {-7, -7, 3, -7}, {-7, Sprout, 0, Sprout},
      {INT32_MIN, INT32_MIN, 3, INT32_MIN}, {INT32_MAX, Dormant, 2, Dormant}, {3, 3, 3, 3}, {7, 9, 2, 9},
  };
  // One case every third column, far enough apart not to interact.
  auto spot = [](size_t k) { return Cell{10 + 3 * (int)k, 200}; };
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    auto [x, y] = spot(k);
    putCell(x, y, cases[k].state);
    nextAt(x, y) = cases[k].next;
    putCount(x, y, cases[k].count);
  }
  checkedStep("first step");
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    auto [x, y] = spot(k);
    EXPECT_EQ(cellAt(x, y), cases[k].after) << "case " << k << ": state " << cases[k].state << ", count "
                                            << cases[k].count;
  }
  // Second step: lone Live cells die, Dormant and unnamed values stay, and
  // the Sprout a -7 handed on grows Live.
  checkedStep("second step");
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    auto [x, y] = spot(k);
    int32_t after = cases[k].after;
    int32_t expected = after == Live ? Empty : after == Sprout ? Live : after;
    EXPECT_EQ(cellAt(x, y), expected) << "case " << k << " after two steps";
  }

  // Real neighbours: Dormant and the other non-Live states never count. A
  // Dormant cell between two Live cells stays Dormant, and an Empty cell
  // with two Live and one Dormant neighbour is not born.
  clearField();
  putCell(500, 100, Live), nextAt(500, 100) = Live;
  putCell(502, 100, Live), nextAt(502, 100) = Live;
  putCell(501, 100, Dormant), nextAt(501, 100) = Dormant;
  putCell(501, 102, Dormant), nextAt(501, 102) = Dormant;
  putCell(500, 102, 5), nextAt(500, 102) = 5;
  putCell(502, 102, Sprout), nextAt(502, 102) = Sprout;
  // Make the field's counts true, then keep the Live pair alive by sowing.
  for (int x = 499; x <= 503; ++x)
    for (int y = 99; y <= 103; ++y) putCount(x, y, 0);
  for (int x = 499; x <= 501; ++x)
    for (int y = 99; y <= 101; ++y) ++countAt(x, y);
  for (int x = 501; x <= 503; ++x)
    for (int y = 99; y <= 101; ++y) ++countAt(x, y);
  countAt(500, 100) = 3, countAt(502, 100) = 3;
  ASSERT_EQ(countAt(501, 100), 2);
  ASSERT_EQ(countAt(501, 101), 2);
  checkedStep("Dormant among Live cells");
  EXPECT_EQ(occupied(), CellMap({{{500, 100}, Live},
                                 {{502, 100}, Live},
                                 {{501, 100}, Dormant},
                                 {{501, 102}, Dormant},
                                 {{500, 102}, 5},
                                 {{502, 102}, Live}}));
  // Only the three Live cells count now.
  EXPECT_EQ(countAt(501, 100), 2);
  EXPECT_EQ(countAt(501, 101), 3);
  EXPECT_EQ(countAt(501, 103), 1);
  EXPECT_EQ(countAt(500, 101), 1);  // beside two Dormant cells, a 5 and one Live cell
  EXPECT_EQ(countAt(500, 100), 0);
  EXPECT_EQ(countAt(500, 102), 0);
}

TEST_P(CellFieldStep, RunsAndCountsLeftByAStepWorkedByHand) {
  // Column 10: block rows 5-6, Dormant at row 20. Column 11: block rows
  // 5-6 under an unnamed positive head (5). Column 12: an unnamed negative
  // value (-7) at row 3. Loaded scratch values must not matter.
  for (int x = 10; x <= 11; ++x)
    for (int y = 5; y <= 6; ++y) putCell(x, y, Live), putCount(x, y, 3);
  putCell(10, 20, Dormant);
  putCell(11, 0, 5), nextAt(11, 0) = 5;
  putCell(12, 3, -7), nextAt(12, 3) = -7;
  for (int x = 8; x <= 13; ++x)
    for (int y = 0; y < kWorldHeight; y += 7) runAt(x, y) = 600 - y;
  runAt(10, 0) = 524, runAt(11, 0) = 3, runAt(10, 5) = 1, runAt(10, 6) = 400;
  touchField();
  checkedStep("worked pattern");

  // Counts around the block, rows 4 to 7 of columns 9 to 12; the Dormant,
  // 5 and -7 cells raise nothing.
  const int32_t counts[4][4] = {{1, 2, 2, 1}, {2, 3, 3, 2}, {2, 3, 3, 2}, {1, 2, 2, 1}};
  long long countSum = 0, runSum = 0;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) {
      bool inBlockArea = x >= 9 && x <= 12 && y >= 4 && y <= 7;
      if (countAt(x, y) != (inBlockArea ? counts[y - 4][x - 9] : 0))
        ADD_FAILURE() << "count at (" << x << ", " << y << "): " << countAt(x, y);
      countSum += countAt(x, y);
      if (y > 0 && runAt(x, y) != 0) ADD_FAILURE() << "run at (" << x << ", " << y << "): " << runAt(x, y);
      runSum += runAt(x, y);
    }
  EXPECT_EQ(countSum, 32);
  // Heads: five empty rows above column 10's block, none in column 11 (its
  // head is positive), the whole column everywhere else (-7 is not positive).
  EXPECT_EQ(runAt(10, 0), 5);
  EXPECT_EQ(runAt(11, 0), 0);
  EXPECT_EQ(runAt(12, 0), 525);
  EXPECT_EQ(runAt(9, 0), 525);
  EXPECT_EQ(runSum, 823LL * 525 + 5);
  EXPECT_EQ(occupied(), CellMap({{{10, 5}, Live},
                                 {{10, 6}, Live},
                                 {{11, 5}, Live},
                                 {{11, 6}, Live},
                                 {{10, 20}, Dormant},
                                 {{11, 0}, 5},
                                 {{12, 3}, -7}}));
  // The block keeps going with the counts the step left.
  for (int gen = 2; gen <= 4; ++gen) checkedStep("generation " + std::to_string(gen));
  EXPECT_EQ(cellAt(10, 5), Live);
  EXPECT_EQ(cellAt(11, 6), Live);
  EXPECT_EQ(countAt(11, 5), 3);
}

TEST_P(CellFieldStep, HeadCellEmptyForManyGenerationsThenLive) {
  // A block deep in columns 50-51 and a Dormant cell below it in column 52:
  // for many generations the heads stay Empty and hold the leading runs.
  for (int x = 50; x <= 51; ++x)
    for (int y = 300; y <= 301; ++y) placeLive(x, y);
  putCell(52, 400, Dormant);
  for (int gen = 1; gen <= 8; ++gen) {
    checkedStep("quiet head, generation " + std::to_string(gen));
    ASSERT_EQ(runAt(50, 0), 300);
    ASSERT_EQ(runAt(52, 0), 400);
  }
  // Sow a second block at the top of the same columns. Once the heads are
  // Live, the recount jumps from them and must still land on the deep block.
  for (int x = 50; x <= 51; ++x)
    for (int y = 0; y <= 1; ++y) putCount(x, y, 3);
  checkedStep("heads born");
  EXPECT_EQ(cellAt(50, 0), Live);
  EXPECT_EQ(runAt(50, 0), 0);
  EXPECT_EQ(runAt(51, 0), 0);
  EXPECT_EQ(countAt(50, 300), 3);
  EXPECT_EQ(countAt(51, 301), 3);
  EXPECT_EQ(countAt(52, 300), 2);
  EXPECT_EQ(countAt(52, 1), 2);
  EXPECT_EQ(countAt(50, 2), 2);
  for (int gen = 1; gen <= 3; ++gen) checkedStep("live heads, generation " + std::to_string(gen));
  CellMap want = liveMap({{50, 0}, {51, 0}, {50, 1}, {51, 1}, {50, 300}, {51, 300}, {50, 301}, {51, 301}});
  want[{52, 400}] = Dormant;
  EXPECT_EQ(occupied(), want);
  // And a positive head that is not Live (Dormant) jumps the same way.
  clearField();
  putCell(70, 0, Dormant);
  for (int y = 200; y <= 202; ++y) placeLive(70, y);
  for (int gen = 1; gen <= 4; ++gen) checkedStep("Dormant head, generation " + std::to_string(gen));
  EXPECT_EQ(cellAt(70, 0), Dormant);
  EXPECT_EQ(occupied().size(), 4u);  // the blinker is in its vertical phase again
  EXPECT_EQ(cellAt(70, 201), Live);
  EXPECT_EQ(countAt(70, 201), 2);
}

TEST_P(CellFieldStep, ClaimMarksAreClearedByTheStep) {
  // A few marks on live and empty cells, in quiet columns and corners ...
  placeLive(300, 300), placeLive(301, 300), placeLive(302, 300);
  const Cell marks[] = {{301, 300}, {0, 0}, {824, 524}, {700, 10}, {300, 299}};
  for (auto& m : marks) markClaim(m.first, m.second);
  checkedStep("a few marks");
  // ... and more marks than the step keeps a list of.
  for (int x = 0; x < kWorldWidth; x += 3)
    for (int y = 0; y < kWorldHeight; y += 17) markClaim(x, y);
  checkedStep("many marks");
  checkedStep("after the marks");
}

TEST_P(CellFieldStep, ZeroedFieldStaysEmptyUnlessSown) {
  Lcg rng{11};
  for (int x = 300; x < 360; ++x)
    for (int y = 200; y < 260; ++y)
      if (rng.next() % 100 < 40) placeLive(x, y);
  for (int round = 0; round < 2; ++round) {
    checkedStep("soup");
    checkedStep("soup again");
    ASSERT_FALSE(occupied().empty());
    // Every state and count set to 0, as a new simulation does; next states
    // and runs keep what the step left.
    std::memset(field.cells, 0, sizeof field.cells);
    std::memset(field.neighbourCounts, 0, sizeof field.neighbourCounts);
    if (round == 1) putCount(10, 10, 3);
    checkedStep("after zeroing");
    EXPECT_EQ(occupied(), round == 0 ? CellMap{} : liveMap({{10, 10}}));
    if (round == 0) {
      EXPECT_EQ(std::count(field.nextCells, field.nextCells + kCellCount, 0), kCellCount);
    }
    clearField();
    rng = Lcg{12};
    for (int x = 300; x < 360; ++x)
      for (int y = 200; y < 260; ++y)
        if (rng.next() % 100 < 40) placeLive(x, y);
  }
}

TEST_P(CellFieldStep, EatingEquivalence) {
  // Soups against the top edge and in the lower-left corner.
  Lcg rng{5};
  for (int x = 380; x < 440; ++x)
    for (int y = 0; y < 50; ++y)
      if (rng.next() % 100 < 40) placeLive(x, y);
  for (int x = 0; x < 40; ++x)
    for (int y = 480; y < kWorldHeight; ++y)
      if (rng.next() % 100 < 40) placeLive(x, y);
  checkedStep("soup");
  checkedStep("soup");
  // The corner cell and its two arms, Live as a step leaves them.
  for (auto [x, y] : {Cell{0, 524}, Cell{1, 524}, Cell{0, 523}}) {
    if (cellAt(x, y) == Live) continue;
    putCell(x, y, Live);
    nextAt(x, y) = Live;
    for (int nx = x - 1; nx <= x + 1; ++nx)
      for (int ny = y - 1; ny <= y + 1; ++ny)
        if ((nx != x || ny != y) && inField(nx, ny)) ++countAt(nx, ny);
    touchCells(x, y, 1);
  }
  {
    Grids now = snapshot(), recounted = now;
    recounted.counts = trueCounts(now.cells);
    ASSERT_EQ(firstDifference(now, recounted), "");
  }
  static CellField start;
  start = field;
  const FieldActivity startActivity = activity;

  // Not edible: Dormant, Sprout and unnamed states, and anything outside.
  const Grids beforeBites = snapshot();
  for (int32_t s : {(int32_t)Dormant, (int32_t)Sprout, 5}) {
    int32_t old = cellAt(600, 300);
    cellAt(600, 300) = s;
    EXPECT_EQ(eatAt(600, 300), 0.0);
    EXPECT_EQ(cellAt(600, 300), s);
    cellAt(600, 300) = old;
  }
  EXPECT_EQ(eatAt(-1, 0), 0.0);
  EXPECT_EQ(eatAt(0, kWorldHeight), 0.0);
  EXPECT_EQ(firstDifference(snapshot(), beforeBites), "");

  // Bites at every seventh Live cell, the corner among them.
  double food = eatAt(0, 524);
  EXPECT_EQ(food, 6.0);  // the corner and its two in-field arms, at 0.5 per cell
  int bites = 0;
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y)
      if (cellAt(x, y) == Live && ++bites % 7 == 0) eatAt(x, y);
  ASSERT_GT(bites, 50);
  Grids eaten = snapshot();
  // Eating keeps the counts true to the cells.
  EXPECT_EQ(eaten.counts, trueCounts(eaten.cells));

  std::vector<Grids> afterEating;
  for (int gen = 1; gen <= 3; ++gen) {
    checkedStep("after eating, generation " + std::to_string(gen));
    afterEating.push_back(snapshot());
  }

  // The same field as if the eaten cells had been Empty already when the
  // previous step's rule ran: no Live state, no next state, counts recounted.
  field = start;
  activity = startActivity;
  int removed = 0;
  for (int i = 0; i < kCellCount; ++i)
    if (start.cells[i] == Live && eaten.cells[i] == Empty) field.cells[i] = field.nextCells[i] = Empty, ++removed;
  ASSERT_GT(removed, bites / 7);
  std::vector<int32_t> counts = trueCounts(std::vector<int32_t>(field.cells, field.cells + kCellCount));
  std::copy(counts.begin(), counts.end(), field.neighbourCounts);
  touchField();
  for (int gen = 1; gen <= 3; ++gen) {
    step();
    EXPECT_EQ(firstDifference(snapshot(), afterEating[gen - 1]), "") << "generation " << gen;
  }
}

TEST_P(CellFieldStep, EatenCountsBelowZero) {
  // A horizontal blinker; the cull empties its right cell and the count
  // below the centre without adjusting anything around them.
  for (int x = 300; x <= 302; ++x) placeLive(x, 300);
  cellAt(302, 300) = Empty;
  countAt(302, 300) = 0;
  countAt(301, 301) = 0;
  // The bite at the centre eats it and its left arm.
  EXPECT_EQ(eatAt(301, 300), 4.0);
  EXPECT_EQ(countAt(301, 301), -2);
  EXPECT_EQ(countAt(301, 299), 1);  // 3, less the two eaten; the culled cell was never subtracted
  EXPECT_EQ(countAt(302, 299), 1);
  checkedStep("after the bite");
  EXPECT_EQ(occupied(), CellMap{});
  // An Empty cell whose sown 3 was lowered by a bite is not born.
  clearField();
  placeLive(400, 400), placeLive(401, 400);
  putCount(400, 401, 3);  // sown
  eatAt(401, 400);        // eats (401,400) and its arm (400,400)
  EXPECT_EQ(countAt(400, 401), 1);
  checkedStep("sown cell next to a bite");
  EXPECT_EQ(occupied(), CellMap{});
}
