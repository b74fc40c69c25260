// Shared set-up of the drawing and button tests: Allegro without a display,
// 32-bit memory bitmaps, the simulation tables at their start values and a
// scripted mouse.
#pragma once
#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "genome/genome.h"
#include "persist/slotfile.h"
#include "selection/selection.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/units.h"
#include "world/cellfield.h"

inline void startAllegroWithoutDisplay() {
  static bool started = false;
  if (started) return;
  install_allegro(SYSTEM_NONE, &errno, atexit);
  set_color_depth(32);
  started = true;
}

inline uint32_t rgb(int r, int g, int b) { return (uint32_t)makecol(r, g, b); }
inline uint32_t pixelAt(BITMAP* bmp, int x, int y) { return (uint32_t)getpixel(bmp, x, y); }

// Counts the pixels of bmp that differ from ref.
inline int differingPixels(BITMAP* bmp, BITMAP* ref) {
  int n = 0;
  for (int y = 0; y < bmp->h; ++y)
    for (int x = 0; x < bmp->w; ++x)
      if (getpixel(bmp, x, y) != getpixel(ref, x, y)) ++n;
  return n;
}

// A living Unit at cell (x, y) with the given genome.
inline void placeUnit(int slot, int x, int y, const Genome& genome) {
  units.status[slot] = Alive;
  units.posX[slot] = x;
  units.posY[slot] = y;
  units.genome[slot] = genome;
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startAllegroWithoutDisplay();
    initGeneTable();
    resetSimulation();
    hoverSelection.clear();
    pickedSelection.clear();
    for (Genome& g : slotGenomes) g = Genome{};
    for (bool& found : slotFileFound) found = false;
    slotRefreshTimer = 0;
    tolerance = 0.0f;
    activeSlot = 0;
    paused = 0;
    graphTimer = 1;
    buttonCooldown = 0;
    tooltipText[0] = '\0';
    uiFont = font;
    useScriptedInput(&input);
  }
  void TearDown() override {
    useScriptedInput(nullptr);
    for (BITMAP* b : bitmaps) destroy_bitmap(b);
  }

  BITMAP* makeBitmap(int w, int h, uint32_t fill = 0) {
    BITMAP* b = create_bitmap_ex(32, w, h);
    clear_to_color(b, (int)fill);
    bitmaps.push_back(b);
    return b;
  }

  ScriptedInput input;
  std::vector<BITMAP*> bitmaps;
};

// Gene values on either side of the glyph rule: a gene is high when it lies
// strictly above the midpoint of its seed range.
inline int32_t lowValue(int g) { return (geneSeedLow[g] + geneSeedHigh[g]) / 2; }
inline int32_t highValue(int g) { return lowValue(g) + 1; }

// A genome whose high genes are those for which high(k) is true.
template <typename Pred>
Genome genomeWhere(Pred high) {
  Genome g{};
  for (int k = 0; k < kGeneCount; ++k) g[k] = high(k) ? highValue(k) : lowValue(k);
  return g;
}
