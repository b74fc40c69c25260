// The tree of the living, kept during a run, and what it says at every stats
// row (phylodiversity.csv) and at the end (tree.nwk).
//
// Every Unit is a node; a Unit born by breeding is a child of its parent, a
// seeded or loaded Unit a child of one virtual origin O. Every edge is one
// generation. The tree of the living T(f) is the union of the paths from O
// to the Units alive at the end of frame f. It is kept as the Units come and
// go: a Unit leaves it when it and all its descendants are dead, so its size
// follows T(f), not the Units that ever lived.
//
// The figures of a row, over the n Units alive:
//   phylogenetic_diversity  the Units in T(f) (its edges, one a Unit);
//   mean_pairwise_distance  the mean edges between two of the living, over
//                           the n(n-1)/2 pairs (through O when they share no
//                           Unit ancestor); empty when n < 2;
//   roots                   the Units without parent in T(f);
//   mrca, mrca_depth        the deepest node that is an ancestor of, or is,
//                           every living Unit, and its edges from O (mrca
//                           empty when that is O; both empty when n is 0);
//   mrca_changes            the rows so far whose mrca differed from the row
//                           before's (empty and O count as one value);
//   depth_mean, depth_max   the edges from O to the living (empty when n is 0).
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "record/census.h"

extern const char kPhylodiversityHeader[];

// One row's figures before formatting.
struct TreeFigures {
  int32_t alive = 0;
  int32_t roots = 0;
  int64_t diversity = 0;        // Units in T(f)
  int64_t pairDistanceSum = 0;  // the edges between all pairs of the living: k(n-k) summed over the edges
  int64_t mrca = -1;            // the id; -1: O, or nobody alive
  int32_t mrcaDepth = 0;
  int64_t depthSum = 0;  // edges from O, summed over the living
  int32_t depthMax = 0;
};

// The kept tree: compact arrays in id order (a parent's id is less than its
// children's), indexed by node; a node that leaves is marked and the arrays
// are closed up now and then. Each living Unit is found by its slot.
class LivingTree {
 public:
  LivingTree();
  // The Unit in slot arrives: its id is greater than any before; parent is
  // its parent's id (-1: none), which must be in the tree; origin the frame
  // it arrived in.
  void arrive(int slot, int64_t id, int64_t parent, int64_t origin);
  // The Unit in slot died. A Unit that dies in its tick still lives it out,
  // and may breed in it: it leaves at settle, with each ancestor left
  // without a living descendant, unless a child arrived in between.
  void die(int slot);
  // The end of a frame: the dead without living descendants leave.
  void settle();
  // Every figure of a row, in one pass over the tree.
  TreeFigures figures();
  // T(f) in Newick: the living as leaves labelled with their ids; chains of
  // nodes with one child each collapsed; an inner node labelled with the id
  // of the Unit where the branches part (a living Unit with descendants is
  // both: an inner node and, beside its descendants, a leaf at distance 0);
  // branch lengths in frames (the difference of the two Units' arrival
  // frames; from O, the Unit's own); O as the root when two or more seeded
  // lineages live, otherwise the root is the first Unit where branches part
  // (with its branch from O). ";" alone when nobody is alive.
  std::string newick();

  int64_t size() const { return kept_; }      // nodes kept: the Units in T(f)
  int64_t living() const { return living_; }  // of which alive
  int64_t largest() const { return largest_; }  // the most nodes kept at once since the start (or the resume)

  // The kept nodes (ids, parents' ids, arrival frames) for a checkpoint, and
  // the tree put back from them, with the living found by the census's
  // lineage of every Alive slot. restore throws std::runtime_error when the
  // two do not make one tree.
  nlohmann::json save();
  void restore(const nlohmann::json& saved);

 private:
  enum : uint8_t { kAlive = 1, kGone = 2 };
  int32_t find(int64_t id) const;  // the node of a kept id, -1 when none
  void leave(int32_t node);
  void compact();

  std::vector<int64_t> id_, origin_;
  std::vector<int32_t> parent_, depth_, children_, below_;
  std::vector<uint8_t> flags_;
  std::vector<int32_t> nodeOfSlot_, dying_;
  int64_t kept_ = 0, living_ = 0, gone_ = 0, largest_ = 0;
};

// The count of the mrca's changes from one row to the next (-1, for O or
// nobody, is one value).
struct MrcaChanges {
  bool any = false;   // a row was seen
  int64_t last = -1;  // its mrca
  int64_t count = 0;
  int64_t see(int64_t mrca) {
    count += any && mrca != last;
    any = true, last = mrca;
    return count;
  }
};

// A row of phylodiversity.csv, with its line end.
std::string phylodiversityRow(int64_t frame, const TreeFigures& figures, int64_t mrcaChanges);
