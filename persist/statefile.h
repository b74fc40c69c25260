// The simulation state file: the five grids, every stored unit field and
// foodDivisor, one number per line, 2,249,626 lines, no header.
#pragma once
#include <cstdint>
#include <string>

#include "units/units.h"
#include "world/cellfield.h"

constexpr int64_t kStateFileLines = 2249626;

// Where each part begins (its first line, from 1): the five grids, then the
// unit fields block by block (posX, posY, targetX, targetY, homeX, homeY,
// awayX, awayY, mode, searchRadius, sowTimer, status, age, stock,
// paceCounter, spareA, spareB), the memories, the energies, foodDivisor,
// and the genomes.
constexpr int64_t kPosXLine = 5 * (int64_t)kCellCount + 1;
constexpr int64_t kPosYLine = kPosXLine + kMaxUnits;
constexpr int64_t kStatusLine = kPosXLine + 11 * kMaxUnits;
constexpr int64_t kMemoryLine = kPosXLine + 17 * kMaxUnits;
constexpr int64_t kEnergyLine = kMemoryLine + (int64_t)kMaxUnits * kMemoryLength;
constexpr int64_t kFoodDivisorLine = kEnergyLine + kMaxUnits;
constexpr int64_t kGenomeLine = kFoodDivisorLine + 1;
static_assert(kGenomeLine + (int64_t)kMaxUnits * kGeneCount - 1 == kStateFileLines, "the parts fill the file");

// Writes the whole simulation to name. The file is written beside the old
// one under a temporary name and renamed over it only when every byte was
// written, so a failed save keeps the previous file. Returns false (and says
// why on standard error) when the save failed.
bool saveState(const char* name);

// Everything a state file holds, copied out of the live tables so that it can
// be written while the simulation goes on, with the rest of the simulation's
// state (the file holds its foodDivisor).
struct StateSnapshot {
  CellField field;
  UnitTable units;
  SimulationState simulation;
};
void takeStateSnapshot(StateSnapshot& snapshot);
// True when the live tables and the simulation's state hold exactly what the
// snapshot holds.
bool stateMatchesSnapshot(const StateSnapshot& snapshot);
// Writes the snapshot as saveState writes the live tables (the same bytes,
// the same safe replacing), but shows no notice and reads no global state:
// it may run on a thread of its own while the frame loop goes on.
bool saveStateSnapshot(const char* name, const StateSnapshot& snapshot);

// What a load found: whether the file opened, how many of its values were
// read, and where reading stopped when the file ended early or held a value
// that is not a number of the expected kind.
struct LoadReport {
  int openError = 0;       // errno when the file could not be opened, else 0
  int64_t valuesRead = 0;  // of kStateFileLines
  int64_t stopLine = 0;    // the line where reading stopped; 0 when every value was read
  bool trailing = false;   // more than white space follows the last value
};

// Reads the simulation from name. Values are read in file order straight
// into the tables; at the first value that is missing or not a number of the
// expected kind the load stops, and that value and all later ones keep what
// they held. Returns false, changing nothing, when the file cannot be opened.
// Every load that opened the file clears reseeding.
bool loadState(const char* name, LoadReport* report = nullptr);

// Whether loadState can open name; when not, *why says why (the system's
// message, "No such file or directory" say).
bool stateFileReadable(const std::string& name, std::string* why);

// What a load of name that opened the file found wrong, as one sentence
// ("world.sav: reading stopped at line 4: 3 of the 2,249,626 values were
// read; the rest keep their start values"); empty when the file was whole.
std::string loadProblem(const std::string& name, const LoadReport& report);

// The reading part of loadState: the stored values from value `first`
// (0-based, in file order) to the end, from in straight into the tables,
// stopping as loadState stops. Counts what it read into *found.
class TextReader;
void readStateValues(TextReader& in, int64_t first, LoadReport* found);
