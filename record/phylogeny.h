// The lineage of a run, one row per Unit that was Alive at some time, in the
// phylogeny format of the ALife Data Standards: id, ancestor_list,
// origin_time, destruction_time, then the slot, the cause of death and the
// genome. A row is written when its Unit dies, and for the Units still alive
// when the run ends (destruction_time "inf", no cause).
#pragma once
#include <cstdint>
#include <string>

#include "units/units.h"

extern const char kPhylogenyHeader[];

// "age", "starvation", "contest", "search", "unfit", "cull" (and "clear").
const char* deathCauseName(DeathCause cause);

// Appends the row of the Unit in slot (its lineage from the census, its
// genome from the table). destroyed < 0 means still alive: "inf" and an
// empty cause.
void appendPhylogenyRow(std::string& out, int slot, int64_t destroyed, DeathCause cause);
