// loaded.csv: the Units of a world loaded from a state file (--load), as the
// census numbered them when the run began (ids from 0, in slot order, no
// parent, origin frame 0, like the Units seeded later), with the slot each
// lived in and its age at the load, so that a reader can tell them from the
// seeded ones and find them again among the living of the run whose
// world.sav was loaded (by slot).
#pragma once
#include <string>

extern const char kLoadedHeader[];

// The whole file for the Units alive now, as the census knows them (call it
// right after startCensus).
std::string loadedUnitsCsv();
