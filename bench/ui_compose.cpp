// Composing one frame of the interface on a 1024 x 768 memory bitmap: the
// background copy, the world (cells, about 800 glyphs, markers), the slot
// panel, the status panel and the magnifier. Then whole frames of the
// window (all but the copy to the screen) on the crowded world of
// bench/crowded.sh, where all 800 Units move in every frame: the frame as
// the program runs it, its simulation alone, and the picture composed
// whole, for comparison.
#include <allegro.h>
#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "genome/genome.h"
#include "units/params.h"
#include "selection/selection.h"
#include "tools/artwork.h"
#include "ui/compose.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

struct Scene {
  BITMAP* background = nullptr;
  BITMAP* back = nullptr;
  BITMAP* graph = nullptr;
  BITMAP* cursor = nullptr;
  ScriptedInput input;
};

Scene& scene() {
  static Scene* s = [] {
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(32);
    auto* sc = new Scene;
    // The program's own artwork.
    BITMAP* artwork = artwork::drawBackground();
    sc->background = create_bitmap(kScreenWidth, kScreenHeight);
    blit(artwork, sc->background, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    destroy_bitmap(artwork);
    BITMAP* pointer = artwork::drawCursor();
    sc->cursor = create_bitmap(kCursorSide, kCursorSide);
    blit(pointer, sc->cursor, 0, 0, 0, 0, kCursorSide, kCursorSide);
    destroy_bitmap(pointer);
    sc->back = create_bitmap(kScreenWidth, kScreenHeight);
    sc->graph = create_bitmap(kGraphWidth, kGraphHeight);
    clear_to_color(sc->graph, makecol(255, 0, 255));
    uiFont = font;
    initMagnifier(kMagnifierFactor);

    // A field that has run a while: random soup, then some generations.
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
      randomGenome(genome, rules.genes);
      spawnUnit(randomRange(0, kWorldWidth - 1), randomRange(0, kWorldHeight - 1), genome);
    }
    simulation.livingCount = 800;
    simulation.foodDivisor = 0.5f;
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
    drawSlotPanel(s.back, kSlotRowsX, kSlotRowsY, kSlotRowsStep);
    drawStatusPanel(s.back, s.graph);
    const int p = pickedSelection.primary();
    drawMagnifier(s.back, units.posX[p] + WorldOffsetX, units.posY[p] + WorldOffsetY, kMagnifierX, kMagnifierY, kMagnifierFactor);
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
    drawMagnifier(s.back, 500, 300, kMagnifierX, kMagnifierY, kMagnifierFactor);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Magnifier)->Unit(benchmark::kMicrosecond);

void BM_Panels(benchmark::State& state) {
  Scene& s = scene();
  for (auto _ : state) {
    drawSlotPanel(s.back, kSlotRowsX, kSlotRowsY, kSlotRowsStep);
    drawStatusPanel(s.back, s.graph);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Panels)->Unit(benchmark::kMicrosecond);

// The crowded world as bench/crowded.sh makes it, without the file: seed 2
// after 7,286 frames, then nobody fights, breeds, or dies of age or hunger.
void makeCrowdedWorld() {
  scene();
  static bool made = false;
  if (made) return;
  made = true;
  resetSimulation();
  seedRandom(2);
  for (int f = 0; f < 7286; ++f) {
    simulateFrame();
    regulatePopulation();
  }
  for (int u = 0; u < kMaxUnits; ++u) {
    if (units.mode[u] == Breed) units.mode[u] = Homeward;
    units.energy[u] = 1000000.0f;
    units.genome[u][12] = 1600;
    units.genome[u][13] = units.genome[u][35] = 2000000000;
  }
  seedRandom(1);
  hoverSelection.clear();
  pickedSelection.clear();
  tooltipText[0] = '\0';
  Scene& s = scene();
  backBuffer = s.back;
  backgroundImage = s.background;
  cursorImage = s.cursor;
  graphBitmap = s.graph;
  s.input.mouseX = 600;
  s.input.mouseY = 300;
  forgetComposedFrame(composedFrame());
}

void BM_CrowdedFrame(benchmark::State& state) {
  makeCrowdedWorld();
  for (auto _ : state) {
    runFrame();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CrowdedFrame)->Unit(benchmark::kMicrosecond);

void BM_CrowdedSimulation(benchmark::State& state) {
  makeCrowdedWorld();
  for (auto _ : state) {
    simulateFrame();
    regulatePopulation();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CrowdedSimulation)->Unit(benchmark::kMicrosecond);

void BM_CrowdedWholePicture(benchmark::State& state) {
  makeCrowdedWorld();
  const FramePictures pictures{backgroundImage, cursorImage, graphBitmap};
  for (auto _ : state) {
    composeWholeFrame(backBuffer, pictures, readFramePoints());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CrowdedWholePicture)->Unit(benchmark::kMicrosecond);

}  // namespace
