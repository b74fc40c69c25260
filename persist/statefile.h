// The simulation state file: the five grids, every stored unit field and
// foodDivisor, one number per line, 2,249,626 lines, no header.
#pragma once
#include <cstdint>

constexpr int64_t kStateFileLines = 2249626;

// Writes the whole simulation to name. The file is written beside the old
// one under a temporary name and renamed over it only when every byte was
// written, so a failed save keeps the previous file. Returns false (and says
// why on standard error) when the save failed.
bool saveState(const char* name);

// Reads the simulation from name. Values are read in file order straight
// into the tables; at the first value that is missing or not a number of the
// expected kind the load stops, and that value and all later ones keep what
// they held. Returns false, changing nothing, when the file cannot be opened.
// Every load that opened the file clears reseeding.
bool loadState(const char* name);
