// The world view: the cell layer, the 6 x 6 genome glyph of every living
// Unit and the circles that mark the Units of the two selections.
#include <allegro.h>

#include "genome/arith.h"
#include "genome/genome.h"
#include "persist/slotfile.h"
#include "selection/selection.h"
#include "ui/draw_util.h"
#include "ui/painter.h"
#include "ui/ui.h"
#include "units/params.h"
#include "units/units.h"
#include "world/cellfield.h"

using ui_detail::PixelTarget;

namespace {

void drawGenomeGlyph(const PixelTarget& target, const Genome& genome, int32_t x, int32_t y) {
  ui_detail::drawGlyphInk(target, ui_detail::glyphInk(genome), x, y);
}

// A 64 x 64 bit block transposed in place: bit j of word i trades places
// with bit i of word j.
void transpose64(uint64_t a[64]) {
  uint64_t m = 0x00000000FFFFFFFFull;
  for (int j = 32; j; j >>= 1, m ^= m << j) {
    for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
      a[k] ^= t << j;
      a[k | j] ^= t;
    }
  }
}

// Cells 1..823 by 1..523 that are not Empty, one pixel each; the outer ring
// of the field is never drawn.
void drawCells(const PixelTarget& target, int offsetX, int offsetY) {
  const int colour = ui_detail::cellColour();
  int64_t xFrom = 1, xTo = kWorldWidth - 2, yFrom = 1, yTo = kWorldHeight - 2;
  if (xFrom < (int64_t)target.left - offsetX) xFrom = (int64_t)target.left - offsetX;
  if (xTo > (int64_t)target.right - 1 - offsetX) xTo = (int64_t)target.right - 1 - offsetX;
  if (yFrom < (int64_t)target.top - offsetY) yFrom = (int64_t)target.top - offsetY;
  if (yTo > (int64_t)target.bottom - 1 - offsetY) yTo = (int64_t)target.bottom - 1 - offsetY;
  if (xFrom > xTo || yFrom > yTo) return;
  preparePackedCells();

  if (target.direct) {
    // Blocks of 64 columns by 64 rows: the field's bits run down a column,
    // so each block is transposed, and every bitmap row is then written from
    // one word of its cells, left to right.
    const uint32_t c = (uint32_t)colour;
    for (int64_t x0 = xFrom; x0 <= xTo; x0 += 64) {
      const int width = (int)(xTo - x0 + 1 < 64 ? xTo - x0 + 1 : 64);
      for (int w = (int)(yFrom >> 6); w <= (int)(yTo >> 6); ++w) {
        uint64_t block[64];
        uint64_t any = 0;
        for (int k = 0; k < 64; ++k) any |= block[k] = k < width ? shownWord((int)x0 + k, w) : 0;
        if (!any) continue;
        transpose64(block);
        const int64_t rowFrom = yFrom > 64 * w ? yFrom : 64 * w;
        const int64_t rowTo = yTo < 64 * w + 63 ? yTo : 64 * w + 63;
        for (int64_t y = rowFrom; y <= rowTo; ++y) {
          uint64_t bits = block[y - 64 * w];
          if (!bits) continue;
          uint32_t* row = reinterpret_cast<uint32_t*>(target.bitmap->line[y + offsetY]) + (x0 + offsetX);
          for (; bits; bits &= bits - 1) row[__builtin_ctzll(bits)] = c;
        }
      }
    }
    return;
  }
  for (int64_t x = xFrom; x <= xTo; ++x)
    for (int64_t y = yFrom; y <= yTo; ++y)
      if ((shownWord((int)x, (int)(y >> 6)) >> (y & 63)) & 1)
        target.write((int)(x + offsetX), (int)(y + offsetY), colour);
}

}  // namespace

namespace ui_detail {

// A gene is high when it lies strictly above the midpoint of its seed range
// (geneValueIsHigh, under the world's rules). The first set pixel
// of a vertical run is dark, the later ones full; the run carries from the
// bottom of one column into the top of the next.
GlyphInk glyphInk(const Genome& genome) {
  GlyphInk ink{0, 0, colourOf(genome[kGeneRed], genome[kGeneGreen], genome[kGeneBlue]),
               colourOf(truncToInt(genome[kGeneRed] * 0.8), truncToInt(genome[kGeneGreen] * 0.8), truncToInt(genome[kGeneBlue] * 0.8))};
  bool run = false;
  for (int k = 0; k < kGeneCount; ++k) {
    if (geneValueIsHigh(k, genome[k], rules.genes)) {
      ink.set |= uint64_t(1) << k;
      if (run) ink.full |= uint64_t(1) << k;
      run = true;
    } else {
      run = false;
    }
  }
  return ink;
}

void selectionMarkers(uint8_t marker[kMaxUnits]) {
  // Membership of both selections, read once instead of one scan per Unit.
  bool inHover[kMaxUnits] = {}, inPicked[kMaxUnits] = {};
  for (int e = 0; e < kMaxUnits; ++e) {
    const int32_t h = hoverSelection.ids[e], p = pickedSelection.ids[e];
    if (h >= 0 && h < kMaxUnits) inHover[h] = true;
    if (p >= 0 && p < kMaxUnits) inPicked[p] = true;
  }
  const int32_t hoverPrimary = hoverSelection.primary(), pickedPrimary = pickedSelection.primary();
  for (int i = 0; i < kMaxUnits; ++i) {
    marker[i] = 0;
    if (!inHover[i] && !inPicked[i]) continue;
    marker[i] = kMarkerSmall;
    if (inHover[i]) marker[i] |= kMarkerRed;
    if (i == pickedPrimary || i == hoverPrimary) marker[i] |= kMarkerBig;
  }
}

}  // namespace ui_detail

void drawUnitGlyph(BITMAP* bitmap, int id, int x, int y) {
  if (!bitmap) return;
  const Genome* genome = nullptr;
  if (id >= 0 && id < kMaxUnits)
    genome = &units.genome[id];
  else if (id >= 1000 && id < 1000 + kSlotCount)
    genome = &slotGenomes[id - 1000];
  else
    return;
  drawGenomeGlyph(PixelTarget(bitmap), *genome, x, y);
}

void drawWorld(BITMAP* bitmap, int offsetX, int offsetY) { drawWorldLayers(bitmap, offsetX, offsetY, true); }

void drawWorldLayers(BITMAP* bitmap, int offsetX, int offsetY, bool markers) {
  if (!bitmap) return;
  const PixelTarget target(bitmap);
  drawCells(target, offsetX, offsetY);

  uint8_t marker[kMaxUnits];
  ui_detail::selectionMarkers(marker);
  for (int i = 0; i < kMaxUnits; ++i) {
    if (units.status[i] != Alive) continue;
    const int32_t px = wrapAdd(units.posX[i], offsetX);
    const int32_t py = wrapAdd(units.posY[i], offsetY);
    drawGenomeGlyph(target, units.genome[i], px, py);
    if (markers) ui_detail::paintMarkers(bitmap, px, py, marker[i]);
  }
}
