// The sets of Units that the user points at: the hover selection, rebuilt
// from the mouse every frame, and the picked selection it is copied into.
#pragma once
#include <cstdint>

#include "units/units.h"

class Selection {
 public:
  int32_t ids[kMaxUnits];  // slot numbers, -1 for empty; element 0 is the primary
  int32_t cursor;          // loop index of the scanning operations

  Selection() { clear(); }
  void clear();
  void pickNearest(int32_t x, int32_t y);
  void addSimilar(float tolerance);
  int32_t contains(int32_t id);
  int32_t primary() const { return ids[0]; }
  void pruneDead();
};

extern Selection hoverSelection;
extern Selection pickedSelection;
