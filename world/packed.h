// Inside world/: the operations that move the field between its two forms,
// and the rule both steps share.
#pragma once
#include "world/cellfield.h"

namespace world_detail {

// The grids become the packed form: everything is taken from them.
void adoptGrids();
// The grids are brought up to date from the packed form.
void syncGrids();
// One generation on the packed form.
void stepPacked();

inline void usePackedForm() {
  if (gridsAreTruth) adoptGrids();
}

// The next state of a cell from its state, its count and its next state so
// far.
inline int32_t ruleNext(int32_t state, int32_t count, int32_t previous) {
  switch (state) {
    case Empty: return count == 3 ? Live : Empty;
    case Live: return (count == 2 || count == 3) ? Live : Empty;
    case Sprout: return Live;
    case Dormant: return count == 3 ? Live : Dormant;
    default: return previous;  // unnamed states keep their next entry
  }
}

}  // namespace world_detail
