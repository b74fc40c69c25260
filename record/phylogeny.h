// The lineage of a run, one row per Unit that was Alive at some time, in the
// phylogeny format of the ALife Data Standards: id, ancestor_list,
// origin_time, destruction_time, then the slot, the cause of death and the
// genome, and last ancestor_id (the parent's id, or the Unit's own for one
// without parent). A row is written when its Unit dies, and for the Units
// still alive when the run ends (destruction_time "inf", no cause), into a
// rows file without ancestor_id; sorting adds it.
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

// Writes the rows of rowsPath (phylogeny rows without a header, in any
// order) to target in id order, the header first: ancestors before their
// descendants, since a Unit's id is greater than its parent's. The rows are
// sorted in pieces of at most pieceRows, each written to a temporary file
// beside target, and then merged, so memory stays bounded however long the
// run. target is replaced only once whole. False, with the reason.
bool sortPhylogeny(const std::string& rowsPath, const std::string& target, std::string* error,
                   size_t pieceRows = 100000);
