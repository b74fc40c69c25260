// The Life generation beside the memory-traffic floor: one plain pass that
// reads and writes all five grids.
#include <benchmark/benchmark.h>

#include <cstring>

#include "world/cellfield.h"

namespace {

void fillSoup(uint32_t seed, int percent) {
  clearField();
  for (int i = 0; i < kCellCount; ++i) {
    seed = seed * 1664525u + 1013904223u;
    field.cells[i] = (int)((seed >> 8) % 100) < percent ? Live : Empty;
  }
  stepGeneration();  // counts and runs as a step leaves them
}

void perCell(benchmark::State& state) {
  state.counters["ns/cell"] = benchmark::Counter((double)state.iterations() * kCellCount,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_StepSoup35(benchmark::State& state) {
  fillSoup(1, 35);
  // The soup settles as it runs; restart it from a copy so each step sees
  // a fresh dense field.
  static CellField start;
  start = field;
  for (auto _ : state) {
    state.PauseTiming();
    field = start;
    state.ResumeTiming();
    stepGeneration();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepSoup35)->Unit(benchmark::kMillisecond);

void BM_StepEmpty(benchmark::State& state) {
  clearField();
  for (auto _ : state) {
    stepGeneration();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepEmpty)->Unit(benchmark::kMillisecond);

// Reads every entry of the five grids and writes every entry of them once.
void BM_SweepFiveGrids(benchmark::State& state) {
  fillSoup(1, 35);
  for (auto _ : state) {
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
