// Selections: the nearest Unit, the Units of a similar genome, dropping the
// dead, copying and the queries.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "genome/genome.h"
#include "selection/selection.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

class SelectionWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    initGeneTable();
    resetSimulation();
  }
  static void alive(int u, int32_t x, int32_t y) {
    units.status[u] = Alive;
    units.posX[u] = x;
    units.posY[u] = y;
  }
};

class SelectionPick : public SelectionWorld {};
class SelectionSimilar : public SelectionWorld {};
class SelectionUpkeep : public SelectionWorld {};

// Big enough that one on the stack would be unusual; tests use statics.
Selection a, b;

}  // namespace

TEST_F(SelectionPick, NearestAliveUnitWithTiesToTheLowerSlot) {
  a.clear();
  EXPECT_EQ(a.primary(), -1);
  // Nobody alive: element 0 stays as it was.
  a.pickNearest(100, 100);
  EXPECT_EQ(a.primary(), -1);
  a.ids[0] = 17;
  a.pickNearest(100, 100);
  EXPECT_EQ(a.primary(), 17);

  a.clear();
  alive(40, 110, 100);  // distance 10
  alive(12, 103, 107);  // distance 10 too, lower slot
  alive(900, 95, 104);  // distance 9, but Dead
  units.status[900] = Dead;
  alive(901, 100, 100);  // Free at the very point
  units.status[901] = Free;
  a.ids[1] = 555;
  a.pickNearest(100, 100);
  EXPECT_EQ(a.primary(), 12);
  EXPECT_EQ(a.ids[1], 555);  // only element 0 is written
  alive(600, 100, 91);  // distance 9: nearer, higher slot
  a.pickNearest(100, 100);
  EXPECT_EQ(a.primary(), 600);

  // The distance must be below 9999 to count at all.
  resetUnitTable();
  a.clear();
  alive(3, 0, 0);
  a.pickNearest(5000, 4999);
  EXPECT_EQ(a.primary(), -1);
  a.pickNearest(5000, 4998);
  EXPECT_EQ(a.primary(), 3);

  // The mouse on the rectangle's far corner asks for cell (825, 525).
  resetUnitTable();
  a.clear();
  alive(5, 824, 524);
  alive(6, 0, 0);
  alive(7, 824, 523);
  a.pickNearest(825, 525);
  EXPECT_EQ(a.primary(), 5);
}

TEST_F(SelectionSimilar, StrictlyBelowTheToleranceInSlotOrder) {
  Genome base;
  base.fill(100);
  for (int u = 0; u < kMaxUnits; ++u) units.genome[u] = base;
  // Distances from slot 50: slot 10 differs by 36 in one gene (1.0), slot
  // 20 by 18 (0.5), slot 30 by 12 (1/3), slot 60 by 72 over two genes (2.0).
  units.genome[10][3] += 36;
  units.genome[20][7] -= 18;
  units.genome[30][35] += 12;
  units.genome[60][0] += 36;
  units.genome[60][1] -= 36;
  // The rest of the table is 200 apart.
  for (int u = 0; u < kMaxUnits; ++u)
    if (u != 10 && u != 20 && u != 30 && u != 50 && u != 60) units.genome[u][5] += 7200;
  units.status[50] = Alive;
  units.status[30] = Dead;  // status does not matter here

  struct Case {
    float tolerance;
    std::vector<int32_t> added;
  };
  const Case cases[] = {
      {0.0f, {}},
      {0.5f, {30}},                      // 0.5 is not below 0.5
      {0.50001f, {20, 30}},
      {1.0f / 3.0f, {30}},               // the float is above 1/3 as a double
      {0.3333333f, {}},
      {1.0f, {20, 30}},
      {1.0001f, {10, 20, 30}},
      {2.0f, {10, 20, 30}},
      {2.5f, {10, 20, 30, 60}},
      {200.0f, {10, 20, 30, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tolerance);
    a.clear();
    for (int k = 1; k < kMaxUnits; ++k) a.ids[k] = 777;
    a.ids[0] = 50;
    a.addSimilar(c.tolerance);
    EXPECT_EQ(a.primary(), 50);
    for (size_t k = 0; k < c.added.size(); ++k) EXPECT_EQ(a.ids[k + 1], c.added[k]);
    // Elements past the last one written keep what they held.
    EXPECT_EQ(a.ids[c.added.size() + 1], 777);
  }

  // No primary: nothing is added.
  a.clear();
  a.addSimilar(1000.0f);
  for (int k = 0; k < kMaxUnits; ++k) ASSERT_EQ(a.ids[k], -1);
}

TEST_F(SelectionSimilar, EverySlotCanBeAppendedOnlyThePrimarySkipped) {
  // A fresh table: every slot, Free ones included, holds the zero genome.
  a.clear();
  a.ids[0] = 123;
  a.addSimilar(0.001f);
  int n = 1;
  for (int u = 0; u < kMaxUnits; ++u)
    if (u != 123) {
      EXPECT_EQ(a.ids[n++], u);
    }
  EXPECT_EQ(n, kMaxUnits);
  EXPECT_EQ(a.contains(999), 1);
  // With tolerance 0 only the primary stays.
  b.clear();
  b.ids[0] = 123;
  b.addSimilar(0.0f);
  EXPECT_EQ(b.ids[1], -1);
}

TEST_F(SelectionUpkeep, PruneCopyClearContains) {
  a.clear();
  for (int u : {4, 5, 6, 7}) units.status[u] = Alive;
  units.status[8] = Dead;
  a.ids[0] = 8;  // a Dead primary
  a.ids[1] = 4;
  a.ids[2] = 9;  // Free
  a.ids[3] = 5;
  a.ids[998] = 6;
  a.ids[999] = 8;
  EXPECT_EQ(a.contains(8), 1);
  EXPECT_EQ(a.contains(6), 1);
  EXPECT_EQ(a.contains(7), 0);
  a.pruneDead();
  EXPECT_EQ(a.primary(), -1);  // not packed: the others stay where they are
  EXPECT_EQ(a.ids[1], 4);
  EXPECT_EQ(a.ids[2], -1);
  EXPECT_EQ(a.ids[3], 5);
  EXPECT_EQ(a.ids[4], -1);
  EXPECT_EQ(a.ids[998], 6);
  EXPECT_EQ(a.ids[999], -1);
  EXPECT_EQ(a.contains(8), 0);
  EXPECT_EQ(a.contains(9), 0);
  EXPECT_EQ(a.contains(4), 1);

  // A copy takes every field and is independent afterwards.
  b.clear();
  a.cursor = 42;
  b = a;
  EXPECT_EQ(b.cursor, 42);
  for (int k = 0; k < kMaxUnits; ++k) ASSERT_EQ(b.ids[k], a.ids[k]) << k;
  a.clear();
  EXPECT_EQ(b.ids[998], 6);
  EXPECT_EQ(b.contains(5), 1);
  for (int k = 0; k < kMaxUnits; ++k) ASSERT_EQ(a.ids[k], -1);
  EXPECT_EQ(a.contains(5), 0);

  // A new Selection starts empty.
  static Selection fresh;
  EXPECT_EQ(fresh.primary(), -1);
  EXPECT_EQ(fresh.contains(0), 0);
}

TEST_F(SelectionUpkeep, HoverThenPickAsTheFrameDoes) {
  // Hover picks the nearest and its kin; the picked copy loses the dead.
  Genome g;
  g.fill(50);
  for (int u : {2, 3, 4}) {
    units.genome[u] = g;
    alive(u, 100 + u * 10, 100);
  }
  for (int u = 0; u < kMaxUnits; ++u)
    if (u < 2 || u > 4) units.genome[u].fill(5000);
  a.clear();
  a.pickNearest(141, 100);
  a.addSimilar(1.0f);
  EXPECT_EQ(a.primary(), 4);
  EXPECT_EQ(a.ids[1], 2);
  EXPECT_EQ(a.ids[2], 3);
  EXPECT_EQ(a.ids[3], -1);
  b = a;
  units.status[4] = Dead;
  b.pruneDead();
  EXPECT_EQ(b.primary(), -1);
  EXPECT_EQ(b.contains(2), 1);
  EXPECT_EQ(b.contains(3), 1);
  EXPECT_EQ(a.primary(), 4);
}
