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
  touchField();
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
    touchField();
    state.ResumeTiming();
    stepGeneration();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepSoup35)->Unit(benchmark::kMillisecond);

// The same soup through the three plain passes.
void BM_StepSoup35Plain(benchmark::State& state) {
  fillSoup(1, 35);
  static CellField start;
  start = field;
  for (auto _ : state) {
    state.PauseTiming();
    field = start;
    state.ResumeTiming();
    stepGenerationPlain();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepSoup35Plain)->Unit(benchmark::kMillisecond);

void BM_StepEmpty(benchmark::State& state) {
  clearField();
  for (auto _ : state) {
    stepGeneration();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepEmpty)->Unit(benchmark::kMicrosecond);

void BM_StepEmptyPlain(benchmark::State& state) {
  clearField();
  for (auto _ : state) {
    stepGenerationPlain();
    benchmark::ClobberMemory();
  }
  perCell(state);
}
BENCHMARK(BM_StepEmptyPlain)->Unit(benchmark::kMillisecond);

// Reads every entry of the five grids and writes every entry of them once,
// from the same restored field as the steps above.
void BM_SweepFiveGrids(benchmark::State& state) {
  fillSoup(1, 35);
  static CellField start;
  start = field;
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
