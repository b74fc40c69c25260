// loaded.csv: the Units of a world loaded from a state file (--load), as the
// census numbered them when the run began (ids from 0, in slot order, no
// parent, origin frame 0, like the Units seeded later), with the slot each
// lived in and its age at the load, so that a reader can tell them from the
// seeded ones and find them again among the living of the run whose
// world.sav was loaded (by slot).
#pragma once
#include <memory>
#include <string>

#include "record/output.h"

extern const char kLoadedHeader[];

// The file is written at the run's first checkpoint or at its end, from the
// Units as the census found them when the output began (after startCensus).
std::unique_ptr<Output> makeLoadedOutput(const std::string& path);
