// Fuzz target: any bytes as a genome slot file, loaded into a living Unit
// and into a slot's genome. Both must hold exactly what a plain fscanf
// reader finds before its first bad value, the rest as it was; the Unit's
// other fields change as a slot load changes them and no more. The Unit then
// lives some frames and its genome is saved and read back.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/world_values.h"
#include "persist/slotfile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

const char kTarget[] = "fuzz_slot";
constexpr int kSlot = 3;
std::string dir, slotName, savedName;
Genome startGenome;

void fail(const char* what, int gene) { fuzzFail(kTarget, what, gene); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dir = fuzzDirectory();
  char name[32];
  slotFileName(name, sizeof name, kSlot);
  slotName = dir + "/" + name;
  savedName = dir + "/saved.dna";
  initGeneTable();
  for (int g = 0; g < kGeneCount; ++g) startGenome[g] = 1000 + g;
  startGenome[0] = 20;
  startGenome[1] = 40;
  startGenome[5] = 6;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeInput(slotName.c_str(), data, size);
  resetSimulation();
  clearField();
  resetUnitTable();
  seedRandom(99);
  const int u = spawnUnit(400, 300, startGenome);
  if (u < 0) std::abort();
  units.stock[u] = 17;
  units.searchRadius[u] = 4;
  const Genome genomeBefore = units.genome[u];
  const int32_t status = units.status[u], mode = units.mode[u], x = units.posX[u], y = units.posY[u],
                stock = units.stock[u], radius = units.searchRadius[u];
  slotGenomes[kSlot] = genomeBefore;

  if (!loadSlotFile(slotName.c_str(), u)) fail("an existing file did not open", 0);
  // refreshSlotGenomes reads "sample3.dna" from the working directory.
  const int here = open(".", O_RDONLY | O_DIRECTORY);
  if (here < 0 || chdir(dir.c_str()) != 0) std::abort();
  const bool refreshed = refreshSlotGenomes(kSlot);
  if (fchdir(here) != 0 || close(here) != 0) std::abort();
  if (!refreshed) fail("an existing file did not refresh", 0);

  std::FILE* in = std::fopen(slotName.c_str(), "rb");
  if (!in) std::abort();
  std::vector<uint32_t> read = referenceRead(in, kGeneCount, 1, 0);  // all integers
  std::fclose(in);
  Genome expected = genomeBefore;
  for (size_t g = 0; g < read.size(); ++g) expected[g] = (int32_t)read[g];
  for (int g = 0; g < kGeneCount; ++g) {
    if (units.genome[u][g] != expected[g]) {
      std::fprintf(stderr, "%s: gene %d: loader %d, reference %d (%zu genes read)\n", kTarget, g, units.genome[u][g],
                   expected[g], read.size());
      fail("loadSlotFile and the fscanf reference differ", g);
    }
    if (slotGenomes[kSlot][g] != expected[g]) fail("refreshSlotGenomes and the fscanf reference differ", g);
  }
  if (units.age[u] != 0 || units.spareA[u] != 0) fail("age and spareA not reset", 0);
  if (units.energy[u] != (float)expected[5]) fail("energy is not gene 5", 5);
  if (units.homeX[u] < 10 || units.homeX[u] > 815 || units.homeY[u] < 10 || units.homeY[u] > 515 ||
      units.awayX[u] < 10 || units.awayX[u] > 815 || units.awayY[u] < 10 || units.awayY[u] > 515)
    fail("an anchor outside the field's inner area", 0);
  if (units.status[u] != status || units.mode[u] != mode || units.posX[u] != x || units.posY[u] != y ||
      units.stock[u] != stock || units.searchRadius[u] != radius)
    fail("a slot load changed a field it keeps", 0);

  // The Unit lives with its genome, whatever it is.
  for (int frame = 0; frame < 6; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
  const Genome kept = units.genome[u];
  if (!saveSlotFile(savedName.c_str(), u)) fail("saveSlotFile failed", 0);
  units.genome[u] = Genome{};
  if (!loadSlotFile(savedName.c_str(), u)) fail("the saved file did not open", 0);
  if (units.genome[u] != kept) fail("the saved genome reads back differently", 0);
  unlink(slotName.c_str());
  unlink(savedName.c_str());
  return 0;
}
