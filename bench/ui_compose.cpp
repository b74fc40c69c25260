// Composing one frame of the interface on a 1024 x 768 memory bitmap: the
// background copy, the world (cells, about 800 glyphs, markers), the slot
// panel, the status panel and the magnifier.
#include <allegro.h>
#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "genome/genome.h"
#include "selection/selection.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

struct Scene {
  BITMAP* background = nullptr;
  BITMAP* back = nullptr;
  BITMAP* graph = nullptr;
  ScriptedInput input;
};

Scene& scene() {
  static Scene* s = [] {
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(32);
    auto* sc = new Scene;
    sc->background = create_bitmap(kScreenWidth, kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) putpixel(sc->background, x, y, makecol(x & 63, y & 63, 40));
    sc->back = create_bitmap(kScreenWidth, kScreenHeight);
    sc->graph = create_bitmap(659, 140);
    clear_to_color(sc->graph, makecol(255, 0, 255));
    uiFont = font;
    initMagnifier(3);

    // A field that has run a while: random soup, then some generations.
    initGeneTable();
    resetSimulation();
    seedRandom(12345);
    CellField& field = editCellGrids();
    for (int i = 0; i < kCellCount; ++i) field.cells[i] = field.nextCells[i] = rawRandom() % 3 == 0 ? Live : Empty;
    for (int x = 0; x < kWorldWidth; ++x)
      for (int y = 0; y < kWorldHeight; ++y)
        if (field.cells[cellIndex(x, y)] == Live)
          for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
              if ((dx || dy) && inField(x + dx, y + dy)) field.neighbourCounts[cellIndex(x + dx, y + dy)] += 1;
    for (int g = 0; g < 30; ++g) stepGeneration();

    Genome genome;
    for (int u = 0; u < 800; ++u) {
      randomGenome(genome);
      spawnUnit(randomRange(0, kWorldWidth - 1), randomRange(0, kWorldHeight - 1), genome);
    }
    livingCount = 800;
    foodDivisor = 0.5f;
    tolerance = 12.0f;

    // The mouse over the world with a hover selection and a picked one.
    sc->input.mouseX = 500;
    sc->input.mouseY = 300;
    useScriptedInput(&sc->input);
    hoverSelection.clear();
    hoverSelection.pickNearest(500 - WorldOffsetX, 300 - WorldOffsetY);
    hoverSelection.addSimilar(tolerance);
    pickedSelection = hoverSelection;
    std::strcpy(tooltipText, "Activate this Slot");
    return sc;
  }();
  return *s;
}

void BM_ComposeFrame(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    blit(s.background, s.back, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    drawWorld(s.back, WorldOffsetX, WorldOffsetY);
    drawSlotPanel(s.back, 134, 632, 16);
    drawStatusPanel(s.back, s.graph);
    const int p = pickedSelection.primary();
    drawMagnifier(s.back, units.posX[p] + WorldOffsetX, units.posY[p] + WorldOffsetY, 852, 599, 3);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ComposeFrame)->Unit(benchmark::kMicrosecond);

void BM_DrawWorld(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    drawWorld(s.back, WorldOffsetX, WorldOffsetY);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DrawWorld)->Unit(benchmark::kMicrosecond);

void BM_BackgroundBlit(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    blit(s.background, s.back, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BackgroundBlit)->Unit(benchmark::kMicrosecond);

void BM_Magnifier(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    drawMagnifier(s.back, 500, 300, 852, 599, 3);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Magnifier)->Unit(benchmark::kMicrosecond);

void BM_Panels(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    drawSlotPanel(s.back, 134, 632, 16);
    drawStatusPanel(s.back, s.graph);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Panels)->Unit(benchmark::kMicrosecond);

}  // namespace
