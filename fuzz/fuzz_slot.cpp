// Fuzz target: any bytes as a genome slot file, loaded into a living Unit
// and into the slot panel's genomes. Both must hold exactly what a plain
// fscanf reader finds before its first bad value, the rest as it was; the
// Unit then lives some frames and its genome is saved and read back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/world_values.h"
#include "persist/slotfile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

std::string dir;
Genome startGenome;

void fail(const char* what, int gene) {
  std::fprintf(stderr, "fuzz_slot: %s (gene %d)\n", what, gene);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/dev/shm/tarn-fuzz-XXXXXX";
  char fallback[] = "/tmp/tarn-fuzz-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) made = mkdtemp(fallback);
  if (!made || chdir(made) != 0) std::abort();
  dir = made;
  initGeneTable();
  for (int g = 0; g < kGeneCount; ++g) startGenome[g] = 1000 + g;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeInput("sample3.dna", nullptr, 0, data, size);
  resetSimulation();
  seedRandom(99);
  Genome genome = startGenome;
  genome[0] = 200;
  genome[5] = 6;
  const int u = spawnUnit(400, 300, genome);
  if (u < 0) std::abort();
  const Genome before = units.genome[u];
  slotGenomes[3] = before;

  if (!loadSlotFile("sample3.dna", u)) fail("an existing file did not load", 0);
  if (!refreshSlotGenomes(3)) fail("an existing file did not refresh", 0);

  std::FILE* in = std::fopen("sample3.dna", "rb");
  if (!in) std::abort();
  std::vector<uint32_t> read = referenceRead(in, kGeneCount, 1, 0);
  std::fclose(in);
  Genome expected = before;
  for (size_t g = 0; g < read.size(); ++g) expected[g] = (int32_t)read[g];
  for (int g = 0; g < kGeneCount; ++g) {
    if (units.genome[u][g] != expected[g]) fail("loaded Unit and reference reader differ", g);
    if (slotGenomes[3][g] != expected[g]) fail("slot genome and reference reader differ", g);
  }

  for (int frame = 0; frame < 6; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
  const Genome kept = units.genome[u];
  if (!saveSlotFile("saved.dna", u)) fail("the save failed", 0);
  units.genome[u] = Genome{};
  if (!loadSlotFile("saved.dna", u)) fail("the saved file did not load", 0);
  if (units.genome[u] != kept) fail("the saved genome reads back differently", 0);
  unlink("sample3.dna");
  unlink("saved.dna");
  return 0;
}
