#include "persist/statefile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "persist/notice.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// The integer blocks of a unit table, in file order.
template <typename Table>
auto unitBlocks(Table& t) {
  return std::array{t.posX,  t.posY,  t.targetX, t.targetY,      t.homeX,    t.homeY,
                    t.awayX, t.awayY, t.mode,    t.searchRadius, t.sowTimer, t.status,
                    t.age,   t.stock, t.paceCounter, t.spareA,   t.spareB};
}

template <typename Field>
auto grids(Field& f) {
  return std::array{f.cells, f.nextCells, f.neighbourCounts, f.claimMarks, f.skipRuns};
}

bool writeState(const char* name, const CellField& cellField, const UnitTable& table, float divisor,
                bool notice) {
  TextWriter out(name);
  if (!out.ok()) return false;
  if (notice) showFileNotice("Saving...");
  for (const int32_t* grid : grids(cellField)) out.putInts(grid, kCellCount);
  for (const int32_t* block : unitBlocks(table)) out.putInts(block, kMaxUnits);
  out.putInts(&table.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  for (int u = 0; u < kMaxUnits; ++u) out.putFloat(table.energy[u]);
  out.putFloat(divisor);
  for (int u = 0; u < kMaxUnits; ++u) out.putInts(table.genome[u].data(), kGeneCount);
  return out.finish();
}

}  // namespace

bool saveState(const char* name) { return writeState(name, cellGrids(), units, simulation.foodDivisor, true); }

void takeStateSnapshot(StateSnapshot& snapshot) {
  snapshot.field = cellGrids();
  snapshot.units = units;
  snapshot.simulation = simulation;
}

bool stateMatchesSnapshot(const StateSnapshot& snapshot) {
  // Every table is made of 32-bit values only, so a byte comparison is a
  // value comparison (a float compares by its bits: -0 and 0 differ, as
  // their texts do).
  return std::memcmp(&snapshot.field, &cellGrids(), sizeof(CellField)) == 0 &&
         std::memcmp(&snapshot.units, &units, sizeof units) == 0 &&
         sameSimulationState(snapshot.simulation, simulation);
}

bool saveStateSnapshot(const char* name, const StateSnapshot& snapshot) {
  return writeState(name, snapshot.field, snapshot.units, snapshot.simulation.foodDivisor, false);
}

bool loadState(const char* name, LoadReport* report) {
  TextReader in(name);
  LoadReport found;
  found.openError = in.openError();
  if (!in.opened()) {
    if (report) *report = found;
    return false;
  }
  showFileNotice("Loading...");
  readStateValues(in, 0, &found);
  simulation.reseeding = 0;
  if (report) *report = found;
  return true;
}

namespace {
size_t readValues(TextReader& in, int32_t* values, size_t count) { return in.readInts(values, count); }
size_t readValues(TextReader& in, float* values, size_t count) {
  size_t n = 0;
  while (n < count && in.readFloat(&values[n])) ++n;
  return n;
}
}  // namespace

void readStateValues(TextReader& in, int64_t first, LoadReport* found) {
  // Each block reads on only if the one before it was complete; the values
  // before `first` are passed over.
  int64_t index = 0;  // of the block's first value
  auto block = [&](auto* values, size_t count) {
    const int64_t skip = std::clamp<int64_t>(first - index, 0, (int64_t)count);
    index += (int64_t)count;
    const size_t wanted = count - (size_t)skip;
    const size_t n = readValues(in, values + skip, wanted);
    found->valuesRead += (int64_t)n;
    return n == wanted;
  };
  bool going = true;
  // Values not read keep what they held: the grids are brought up to date
  // before they are written.
  for (int32_t* grid : grids(editCellGrids())) going = going && block(grid, kCellCount);
  for (int32_t* values : unitBlocks(units)) going = going && block(values, kMaxUnits);
  going = going && block(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  going = going && block(units.energy, kMaxUnits);
  going = going && block(&simulation.foodDivisor, 1);
  for (int u = 0; going && u < kMaxUnits; ++u) going = block(units.genome[u].data(), kGeneCount);
  unitTableChanged();
  if (going)
    found->trailing = in.moreText();
  else
    found->stopLine = in.line();
}

namespace {

std::string withCommas(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

bool stateFileReadable(const std::string& name, std::string* why) {
  TextReader in(name.c_str(), 4096, 64);
  if (in.opened()) return true;
  *why = std::strerror(in.openError());
  return false;
}

std::string loadProblem(const std::string& name, const LoadReport& report) {
  if (report.stopLine != 0)
    return name + ": reading stopped at line " + withCommas(report.stopLine) + ": " + withCommas(report.valuesRead) +
           " of the " + withCommas(kStateFileLines) + " values were read; the rest keep their start values";
  if (report.trailing) return name + ": text follows the " + withCommas(kStateFileLines) + " values; it was not read";
  return "";
}
