// Helpers of the loader fuzz targets: the stored values of the simulation as
// one flat list in state file order (floats by their bits), and a plain
// reference reader built on fscanf that the loaders are checked against.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "units/units.h"
#include "world/cellfield.h"

// Lines 0-based: the energies and foodDivisor are the only floats.
constexpr int64_t kFirstFloatLine = 2212625;
constexpr int64_t kLastFloatLine = 2213625;
constexpr int64_t kUnitTableLine = 5 * (int64_t)kCellCount;

// Calls visit(pointer, count) for every stored block, in file order; every
// element is 4 bytes.
template <typename Visit>
void forEachStoredBlock(Visit visit) {
  const CellField& g = cellGrids();
  for (const int32_t* grid : {g.cells, g.nextCells, g.neighbourCounts, g.claimMarks, g.skipRuns})
    visit((const void*)grid, (size_t)kCellCount);
  for (const int32_t* block :
       {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX, units.awayY,
        units.mode, units.searchRadius, units.sowTimer, units.status, units.age, units.stock, units.paceCounter,
        units.spareA, units.spareB})
    visit((const void*)block, (size_t)kMaxUnits);
  visit((const void*)&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  visit((const void*)units.energy, (size_t)kMaxUnits);
  visit((const void*)&foodDivisor, (size_t)1);
  for (const Genome& g : units.genome) visit((const void*)g.data(), (size_t)kGeneCount);
}

// Fills v (2,249,626 values) with the stored values.
void worldValues(std::vector<uint32_t>& v);

// The reference: one value read with fscanf "%lld" or "%f". False where the
// loader must stop: a failed conversion, an integer outside the 32-bit range
// (beyond 64 bits "%lld" gives LLONG_MIN or LLONG_MAX, outside it too), a
// float that is not finite.
bool referenceInt(std::FILE* in, int32_t* value);
bool referenceFloat(std::FILE* in, float* value);

// Reads up to `count` values with the reference, stopping at the first that
// fails. Values whose index lies in [floatFrom, floatTo] are floats. Returns
// the values read (floats by their bits).
std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo);

// Writes bytes to a file; aborts when it cannot.
void writeInput(const char* name, const uint8_t* data, size_t size);

// A fresh directory for a target's files: under $TARN_FUZZ_TMP, else
// /dev/shm, else /tmp. It and everything in it are removed at exit.
const char* fuzzDirectory();

// Prints the message and aborts: a finding.
[[noreturn]] void fuzzFail(const char* target, const char* what, long long at);
