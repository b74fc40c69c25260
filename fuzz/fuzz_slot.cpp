// Fuzz target: any bytes as a genome slot file, loaded into a living Unit
// (loadSlotFile) and into a slot's genome (refreshSlotGenomes). Both must
// hold what a plain fscanf reader finds before its first bad value and their
// old genes from there on; the Unit's age, spareA and energy are reset, and
// nothing in the unit table changes but those and its anchors.
// One input in 256 (by its hash, so that a finding reproduces from its file)
// lets the Unit live three frames (one Life generation) with its genome,
// then saves the genome, which must read back the same.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/reference.h"
#include "persist/slotfile.h"
#include "units/units.h"

namespace {

constexpr int kSlot = 3;
std::string dir, slotName, savedName;
int unit;
UnitTable startUnits;

[[noreturn]] void fail(const char* what, int gene) { fuzzFail("fuzz_slot", what, gene); }

void startWorld() {
  resetSimulation();
  seedRandom(99);
  Genome genome;
  for (int g = 0; g < kGeneCount; ++g) genome[g] = 1000 + g;
  genome[0] = 20;
  genome[1] = 40;
  genome[5] = 6;
  unit = spawnUnit(400, 300, genome);
  if (unit < 0) std::abort();
  units.stock[unit] = 17;
  units.searchRadius[unit] = 4;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dir = fuzzDirectory();
  char name[32];
  slotFileName(name, sizeof name, kSlot);
  slotName = dir + "/" + name;
  savedName = dir + "/saved.dna";
  startWorld();
  startUnits = units;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int u = unit;
  writeInput(slotName.c_str(), data, size);
  slotGenomes[kSlot] = startUnits.genome[u];
  if (!loadSlotFile(slotName.c_str(), u)) fail("an existing file did not open", 0);
  // refreshSlotGenomes reads "sample3.dna" from the working directory.
  const int here = open(".", O_RDONLY | O_DIRECTORY);
  if (here < 0 || chdir(dir.c_str()) != 0) std::abort();
  const bool refreshed = refreshSlotGenomes(kSlot);
  if (fchdir(here) != 0 || close(here) != 0) std::abort();
  if (!refreshed) fail("an existing file did not refresh", 0);

  std::FILE* in = std::fopen(slotName.c_str(), "rb");
  if (!in) std::abort();
  size_t end = 0;
  const std::vector<uint32_t> read = referenceRead(in, kGeneCount, 1, 0, &end);  // all integers
  std::fclose(in);
  Genome expected = startUnits.genome[u];
  std::copy(read.begin(), read.end(), expected.begin());
  for (int g = 0; g < kGeneCount; ++g) {
    if (units.genome[u][g] != expected[g]) fail("loadSlotFile and the fscanf reference differ", g);
    if (slotGenomes[kSlot][g] != expected[g]) fail("refreshSlotGenomes and the fscanf reference differ", g);
  }
  if (units.age[u] != 0 || units.spareA[u] != 0 || units.energy[u] != (float)expected[5])
    fail("age, spareA or energy not reset", 0);

  // What a slot load changes put back, the table must be as it was.
  for (auto kept : {&UnitTable::age, &UnitTable::spareA, &UnitTable::homeX, &UnitTable::homeY, &UnitTable::awayX,
                    &UnitTable::awayY})
    (units.*kept)[u] = (startUnits.*kept)[u];
  units.energy[u] = startUnits.energy[u];
  units.genome[u] = startUnits.genome[u];
  if (std::memcmp(&units, &startUnits, sizeof units) != 0) fail("a slot load changed a field it keeps", 0);

  if (inputHash(data, size) % 256 == 0) {
    loadSlotFile(slotName.c_str(), u);
    for (int frame = 0; frame < 3; ++frame) {
      simulateFrame();
      regulatePopulation();
    }
    const Genome kept = units.genome[u];
    if (!saveSlotFile(savedName.c_str(), u)) fail("saveSlotFile failed", 0);
    units.genome[u] = Genome{};
    if (!loadSlotFile(savedName.c_str(), u) || units.genome[u] != kept) fail("the saved genome reads back wrongly", 0);
    startWorld();
  }
  return 0;
}
