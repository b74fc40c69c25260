// The painters of the world view, the one place that says how a cell, a
// glyph and a selection marker look. The whole frame, the frame composed
// where it changed and the world pictures all paint through these, so that
// a change to the look is made once.
#pragma once
#include <allegro.h>

#include <cstdint>

#include "genome/genome.h"
#include "ui/draw_util.h"
#include "units/units.h"

namespace ui_detail {

// The colour of a shown cell.
inline int cellColour() { return makecol(50, 160, 160); }

// Where gene k's pixel lies in the glyph's 6 x 6 square: each run of six
// genes is a column, top to bottom.
constexpr int8_t kGlyphColumn[36] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2,
                                     3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
constexpr int8_t kGlyphRow[36] = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5,
                                  0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5};
// The glyph's square reaches this far left of and above its given point;
// the point is its fourth pixel from the left and the top.
constexpr int kGlyphReach = 3;
constexpr int kGlyphSide = 6;

// A genome's glyph: bit k set where gene k's pixel is drawn, in the full
// colour where bit k of full is set and in the dark colour elsewhere.
struct GlyphInk {
  uint64_t set, full;
  int fullColour, darkColour;
};
GlyphInk glyphInk(const Genome& genome);

// The glyph painter: calls paint(x, y, colour) for each of the glyph's
// pixels, in gene order, with the glyph's given point at (x, y).
// Coordinates are 64-bit so that no point overflows.
template <typename Paint>
inline void paintGlyph(const GlyphInk& ink, int64_t x, int64_t y, Paint paint) {
  const int64_t left = x - kGlyphReach, top = y - kGlyphReach;
  for (uint64_t bits = ink.set; bits; bits &= bits - 1) {
    const int k = __builtin_ctzll(bits);
    paint(left + kGlyphColumn[k], top + kGlyphRow[k], (ink.full >> k) & 1 ? ink.fullColour : ink.darkColour);
  }
}

// The glyph on a bitmap, clipped.
inline void drawGlyphInk(const PixelTarget& target, const GlyphInk& ink, int32_t x, int32_t y) {
  paintGlyph(ink, x, y, [&](int64_t px, int64_t py, int colour) { target.plot(px, py, colour); });
}

// The circles around a Unit of the selections: one of radius 5, one of
// radius 10 too for a primary, red for the hover selection, else white.
enum : uint8_t { kMarkerSmall = 1, kMarkerBig = 2, kMarkerRed = 4 };
// The markers of every slot as the selections stand (0: none).
void selectionMarkers(uint8_t marker[kMaxUnits]);

constexpr int kMarkerSmallRadius = 5, kMarkerBigRadius = 10;
// How far a Unit's markers reach from its point (0: it has none).
inline int markerReach(uint8_t marker) {
  return marker & kMarkerBig ? kMarkerBigRadius : marker ? kMarkerSmallRadius : 0;
}

// Allegro's circle, skipped where it would lie wholly outside any bitmap.
inline void markerCircle(BITMAP* bitmap, int32_t x, int32_t y, int radius, int colour) {
  if (!saneCoord(x) || !saneCoord(y)) return;
  circle(bitmap, x, y, radius, colour);
}

// The marker painter: a Unit's circles around (x, y), as the bitmap's
// clipping allows; nothing when marker is 0.
inline void paintMarkers(BITMAP* bitmap, int32_t x, int32_t y, uint8_t marker) {
  if (!marker) return;
  const int colour = marker & kMarkerRed ? makecol(255, 0, 0) : makecol(255, 255, 255);
  markerCircle(bitmap, x, y, kMarkerSmallRadius, colour);
  if (marker & kMarkerBig) markerCircle(bitmap, x, y, kMarkerBigRadius, colour);
}

}  // namespace ui_detail
