// Saving and loading a full world: the bulk number text beside one fprintf
// or fscanf per value.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

const char kFile[] = "bench-world.sav";

void makeWorld() {
  resetSimulation();
  seedRandom(1);
  for (int i = 0; i < 3000; ++i) {
    simulateFrame();
    regulatePopulation();
  }
}

// The straightforward way: one library call per value. It ends as the real
// save does, with the data forced to the disk, so that both pay the same
// for the disk itself.
void savePerValue(const char* name) {
  std::FILE* f = std::fopen(name, "w");
  const CellField& field = cellGrids();
  for (const int32_t* grid : {field.cells, field.nextCells, field.neighbourCounts, field.claimMarks, field.skipRuns})
    for (int i = 0; i < kCellCount; ++i) std::fprintf(f, "%d\n", grid[i]);
  for (const int32_t* block :
       {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX, units.awayY,
        units.mode, units.searchRadius, units.sowTimer, units.status, units.age, units.stock, units.paceCounter,
        units.spareA, units.spareB})
    for (int u = 0; u < kMaxUnits; ++u) std::fprintf(f, "%d\n", block[u]);
  for (auto& row : units.memory)
    for (int32_t m : row) std::fprintf(f, "%d\n", m);
  for (float e : units.energy) std::fprintf(f, "%f\n", (double)e);
  std::fprintf(f, "%f\n", (double)simulation.foodDivisor);
  for (auto& g : units.genome)
    for (int32_t gene : g) std::fprintf(f, "%d\n", gene);
  std::fflush(f);
  fsync(fileno(f));
  std::fclose(f);
}

void loadPerValue(const char* name) {
  std::FILE* f = std::fopen(name, "r");
  CellField& field = editCellGrids();
  for (int32_t* grid : {field.cells, field.nextCells, field.neighbourCounts, field.claimMarks, field.skipRuns})
    for (int i = 0; i < kCellCount; ++i)
      if (std::fscanf(f, "%d", &grid[i]) != 1) break;
  for (int32_t* block :
       {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX, units.awayY,
        units.mode, units.searchRadius, units.sowTimer, units.status, units.age, units.stock, units.paceCounter,
        units.spareA, units.spareB})
    for (int u = 0; u < kMaxUnits; ++u)
      if (std::fscanf(f, "%d", &block[u]) != 1) break;
  for (auto& row : units.memory)
    for (int32_t& m : row)
      if (std::fscanf(f, "%d", &m) != 1) break;
  for (float& e : units.energy)
    if (std::fscanf(f, "%f", &e) != 1) break;
  if (std::fscanf(f, "%f", &simulation.foodDivisor) != 1) {
  }
  for (auto& g : units.genome)
    for (int32_t& gene : g)
      if (std::fscanf(f, "%d", &gene) != 1) break;
  std::fclose(f);
}

void BM_SaveBulk(benchmark::State& state) {
  makeWorld();
  for (auto _ : state) saveState(kFile);
}
BENCHMARK(BM_SaveBulk)->Unit(benchmark::kMillisecond);

void BM_SavePerValue(benchmark::State& state) {
  makeWorld();
  for (auto _ : state) savePerValue(kFile);
}
BENCHMARK(BM_SavePerValue)->Unit(benchmark::kMillisecond);

void BM_LoadBulk(benchmark::State& state) {
  makeWorld();
  saveState(kFile);
  for (auto _ : state) loadState(kFile);
}
BENCHMARK(BM_LoadBulk)->Unit(benchmark::kMillisecond);

void BM_LoadPerValue(benchmark::State& state) {
  makeWorld();
  saveState(kFile);
  for (auto _ : state) loadPerValue(kFile);
  std::remove(kFile);
}
BENCHMARK(BM_LoadPerValue)->Unit(benchmark::kMillisecond);

}  // namespace
