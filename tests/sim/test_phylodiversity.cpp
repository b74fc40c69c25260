// The tree of the living on a small forest worked out on paper: every figure
// of a row and the Newick text, as Units are seeded, born and die. A
// figure of a real run against a plain recount is checked from outside, in
// tests/phylo/test_tree.py.
#include <gtest/gtest.h>

#include <string>

#include "record/phylodiversity.h"

namespace {

// Each Unit lives in the slot of its id.
struct Forest {
  LivingTree tree;
  MrcaChanges changes;
  void seed(int64_t id, int64_t frame) { tree.arrive((int)id, id, -1, frame); }
  void birth(int64_t id, int64_t parent, int64_t frame) { tree.arrive((int)id, id, parent, frame); }
  void death(int64_t id) { tree.die((int)id); }
  std::string row(int64_t frame) {
    const TreeFigures f = tree.figures();
    return phylodiversityRow(frame, f, changes.see(f.mrca));
  }
};

// frame 1: 0 and 1 seeded        O ── 0 ──┬── 2 ── 4         (alive: 1 2 4 6)
// frame 2: 2 and 3 born of 0     │        └── 3 ── 5 ── 6
// frame 3: 4 born of 2           └── 1
// frame 4: 5 born of 3; 0 dies
// frame 5: 6 born of 5; 3 and 5 die
TEST(LivingTree, FiguresAndNewickOfAForestWorkedOnPaper) {
  Forest f;
  f.seed(0, 1), f.seed(1, 1);
  f.birth(2, 0, 2), f.birth(3, 0, 2);
  f.birth(4, 2, 3);
  f.birth(5, 3, 4), f.death(0);
  f.birth(6, 5, 5), f.death(3), f.death(5);
  f.tree.settle();
  // Seven Units in the tree, two roots. The pairs: 1-2 through O 3 edges,
  // 1-4 4, 1-6 5, 2-4 1, 2-6 4, 4-6 5: 22 over 6 pairs. Depths 1 2 3 4.
  EXPECT_EQ(f.row(5), "5,4,2,7,3.666667,,0,0,2.500000,4\n");
  // O at the root; 3 and 5, a chain of one child each, are one branch of
  // 4 frames; 2, alive with a descendant, parts branches and is a leaf.
  EXPECT_EQ(f.tree.newick(), "(((2:0,4:1)2:1,6:4)0:1,1:1);\n");

  // frame 6: 2 dies in its tick and still breeds 7 in it; 1 dies. All the
  // living descend from 0: the mrca changes from O to it.
  f.death(2), f.birth(7, 2, 6), f.death(1);
  f.tree.settle();
  EXPECT_EQ(f.row(6), "6,3,1,7,4.000000,0,1,1,3.333333,4\n");  // 4-7 2, 4-6 5, 6-7 5
  EXPECT_EQ(f.tree.newick(), "((4:1,7:4)2:1,6:4)0:1;\n");      // 0 the root, with its branch from O

  // frame 7: 6 dies, and its dead ancestors 5 and 3 with it; 0, with one
  // child left, is passed through.
  f.death(6);
  EXPECT_EQ(f.row(7), "7,2,1,4,2.000000,2,2,2,3.000000,3\n");
  EXPECT_EQ(f.tree.size(), 4);
  EXPECT_EQ(f.tree.newick(), "(4:1,7:4)2:2;\n");

  // Nobody alive: the tree is empty; then one seeded Unit, its own mrca.
  f.death(4), f.death(7);
  EXPECT_EQ(f.row(8), "8,0,0,0,,,,3,,\n");
  EXPECT_EQ(f.tree.newick(), ";\n");
  f.seed(8, 9);
  EXPECT_EQ(f.row(9), "9,1,1,1,,8,1,4,1.000000,1\n");
  EXPECT_EQ(f.tree.newick(), "8:9;\n");
  EXPECT_EQ(f.tree.largest(), 8);  // in frame 6, before 1 left
}

}  // namespace
