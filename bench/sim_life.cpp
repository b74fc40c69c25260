// The Life generation beside the memory-traffic floor: one plain pass that
// reads and writes all five grids.
#include <benchmark/benchmark.h>

#include <cstring>

#include "units/units.h"
#include "world/cellfield.h"

namespace {

void fillSoup(uint32_t seed, int percent) {
  clearField();
  CellField& field = editCellGrids();
  for (int i = 0; i < kCellCount; ++i) {
    seed = seed * 1664525u + 1013904223u;
    field.cells[i] = (int)((seed >> 8) % 100) < percent ? Live : Empty;
  }
  // The counts and next states a step would have left with this soup.
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) {
      int n = 0;
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
          if ((dx || dy) && inField(x + dx, y + dy)) n += field.cells[cellIndex(x + dx, y + dy)] == Live;
      field.neighbourCounts[cellIndex(x, y)] = n;
      field.nextCells[cellIndex(x, y)] = field.cells[cellIndex(x, y)];
    }
}

void perCell(benchmark::State& state) {
  state.counters["ns/cell"] = benchmark::Counter((double)state.iterations() * kCellCount,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The field a run of the whole simulation leaves: sparse islands around
// the Units' anchors.
void fillFromRun() {
  resetSimulation();
  seedRandom(1);
  for (int i = 0; i < 6000; ++i) {
    simulateFrame();
    regulatePopulation();
  }
}

// Steps the same field again and again: each step starts from a copy of
// it, in the form the step before left it.
template <typename Step>
void stepRepeatedly(benchmark::State& state, Step step) {
  static FieldCopy start;
  copyField(start);
  for (auto _ : state) {
    state.PauseTiming();
    restoreField(start);
    state.ResumeTiming();
    step();
    benchmark::ClobberMemory();
  }
  perCell(state);
}

// The fields stepped: a 35 % soup one generation on (as a step leaves a
// field, about as dense), the field a run leaves, and an empty one.
void soupStepped() { fillSoup(1, 35), stepGeneration(); }
void runStepped() { fillFromRun(), stepGeneration(); }  // the step before was a fast one
void emptyStepped() { clearField(), stepGeneration(); }

// Steps the field that fill makes, the fast way or the plain passes (which
// work on the grids).
template <void (*Fill)(), bool Plain>
void BM_Step(benchmark::State& state) {
  Fill();
  if (Plain) editCellGrids();
  stepRepeatedly(state, Plain ? stepGenerationPlain : stepGeneration);
}
BENCHMARK(BM_Step<soupStepped, false>)->Name("BM_StepSoup35")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<soupStepped, true>)->Name("BM_StepSoup35Plain")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<runStepped, false>)->Name("BM_StepAfterRun")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<runStepped, true>)->Name("BM_StepAfterRunPlain")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<emptyStepped, false>)->Name("BM_StepEmpty")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step<emptyStepped, true>)->Name("BM_StepEmptyPlain")->Unit(benchmark::kMillisecond);

// Reads every entry of the five grids and writes every entry of them once,
// from the same restored field as the steps above.
void BM_SweepFiveGrids(benchmark::State& state) {
  fillSoup(1, 35);
  static CellField start, field;
  start = cellGrids();
  for (auto _ : state) {
    state.PauseTiming();
    field = start;
    state.ResumeTiming();
    for (int i = 0; i < kCellCount; ++i) {
      int32_t c = field.cells[i], n = field.nextCells[i], k = field.neighbourCounts[i];
      int32_t m = field.claimMarks[i], s = field.skipRuns[i];
      field.cells[i] = n;
      field.nextCells[i] = c;
      field.neighbourCounts[i] = k + 1;
      field.claimMarks[i] = m ^ 1;
      field.skipRuns[i] = s + c;
    }
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_SweepFiveGrids)->Unit(benchmark::kMillisecond);

}  // namespace
