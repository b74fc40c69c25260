// The frame composed whole, or again only where it changed, and the changed
// regions sent to the screen.
//
// The screen is cut into tiles of 8 x 8 pixels. Each frame finds what it
// draws differently from the frame before:
//   Units      each slot's place, glyph and circles, against those drawn;
//   panels     the slot rows, the tolerance bar, the status line and the
//              tooltip by what they show, the graph by its pixels (compared
//              with a copy when it scrolled);
//   cursor     its place;
//   cells      the words of shown cells that changed (takeShownChanges),
//              against the words drawn, bit by bit;
//   magnifier  its centre, and whether anything changed in its source
//              square or its output.
// What a Unit, a panel part or the cursor covered before and covers now is
// redrawn: the background and the cells are restored on those rows of
// those tiles, and every later layer is drawn again in the frame's order,
// clipped to the tiles, so that a later layer covers an earlier one as in
// the whole frame (in a tile's other rows this leaves each pixel as the
// topmost layer there drew it before). A changed cell under something drawn
// above the cells (a Unit's square, a panel part, the cursor, the
// magnifier) marks its row of its tile for that too; any other changed cell
// is written straight into the back buffer. When the magnifier is drawn
// again, its output covers its tiles, whose rows are restored only where
// its source square needs the layers beneath.
// Everything else keeps the pixels of the frame before, which are this
// frame's. The redrawn tiles and the cells written are what goes to the
// screen, in few rectangles (tiles.cpp). What is kept from frame to frame
// lives in the frame loop's ComposedFrame; the cells, glyphs and circles
// are painted by the painters of painter.h, the whole frame's own.
#include "ui/compose.h"

#include <allegro.h>

#include <cstring>

#include "genome/arith.h"
#include "persist/slotfile.h"
#include "selection/selection.h"
#include "ui/composed_frame.h"
#include "ui/input.h"
#include "ui/painter.h"
#include "ui/tiles.h"
#include "units/units.h"
#include "world/cellfield.h"

using namespace ui_detail;

void ComposedFrame::redraw(const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty) {
    for (int k = 0; k < kRowWords; ++k) redrawn[ty][k] |= t.mask[k];
    const int top = ty == t.ty0 ? r.y0 % kTile : 0, bottom = ty == t.ty1 ? (r.y1 - 1) % kTile : kTile - 1;
    const uint8_t rows = (uint8_t)((0xFFu >> (kTile - 1 - (bottom - top))) << top);
    for (int tx = t.tx0; tx <= t.tx1; ++tx) restoredRows[ty][tx] |= rows;
  }
}

namespace {

constexpr ScreenRect kMagnifierRect = ScreenRect::of(kMagnifierArea);

// Draws with target clipped to each redrawn part of r.
template <typename F>
void drawClipped(const ComposedFrame& f, BITMAP* target, const ScreenRect& r, F draw) {
  forEachRectOn(f.redrawn, r, [&](const ScreenRect& part) {
    set_clip_rect(target, part.x0, part.y0, part.x1 - 1, part.y1 - 1);
    draw();
  });
  set_clip_rect(target, 0, 0, target->w - 1, target->h - 1);
}

// --- Finding what changed -------------------------------------------------------

bool canComposeChanges(BITMAP* target, const FramePictures& p) {
  auto direct32 = [](BITMAP* b) { return b && is_memory_bitmap(b) && bitmap_color_depth(b) == 32; };
  return direct32(target) && target->w == kScreenWidth && target->h == kScreenHeight &&
         direct32(p.background) && p.background->w >= kScreenWidth && p.background->h >= kScreenHeight &&
         (!p.graph || direct32(p.graph)) && _drawing_mode == DRAW_MODE_SOLID &&
         magnifierReady(kMagnifierFactor, 32);
}

// A slot's place and markers as drawn now, with the squares they cover.
void placeUnit(DrawnUnit& d, int32_t px, int32_t py, uint8_t marker) {
  d.px = px;
  d.py = py;
  d.marker = marker;
  d.glyphRect = ScreenRect::clipped((int64_t)px - kGlyphReach, (int64_t)py - kGlyphReach,
                                    (int64_t)px - kGlyphReach + kGlyphSide, (int64_t)py - kGlyphReach + kGlyphSide);
  const int r = markerReach(marker);
  d.rect = r == 0 ? d.glyphRect
                  : ScreenRect::clipped((int64_t)px - r, (int64_t)py - r, (int64_t)px + r + 1, (int64_t)py + r + 1);
}

ScreenRect cursorRect(const FramePoints& p) {
  return ScreenRect::clipped(p.cursorX, p.cursorY, (int64_t)p.cursorX + kCursorSide, (int64_t)p.cursorY + kCursorSide);
}

ScreenRect sourceSquare(int centreX, int centreY) {
  const int64_t x0 = wrapSub(centreX, kMagnifierSource / 2), y0 = wrapSub(centreY, kMagnifierSource / 2);
  return ScreenRect::clipped(x0, y0, x0 + kMagnifierSource, y0 + kMagnifierSource);
}

void markUnits(ComposedFrame& f) {
  uint8_t marker[kMaxUnits];
  selectionMarkers(marker);
  for (int i = 0; i < kMaxUnits; ++i) {
    DrawnUnit& d = f.drawnUnits[i];
    if (units.status[i] != Alive) {
      if (d.shown) f.redraw(d.rect);
      d.shown = false;
      continue;
    }
    const int32_t px = wrapAdd(units.posX[i], WorldOffsetX), py = wrapAdd(units.posY[i], WorldOffsetY);
    const bool sameGenome = d.inkValid && d.genome == units.genome[i];
    if (!d.shown || !sameGenome || d.px != px || d.py != py || d.marker != marker[i]) {
      const bool wasShown = d.shown;
      const ScreenRect was = d.rect;
      d.shown = true;
      placeUnit(d, px, py, marker[i]);
      if (!sameGenome) {
        d.genome = units.genome[i];
        d.ink = glyphInk(d.genome);
        d.inkValid = true;
      }
      // A step to a square that overlaps the old one: both at once.
      if (wasShown && !intersect(was, d.rect).empty()) {
        f.redraw(was.unite(d.rect));
      } else {
        if (wasShown) f.redraw(was);
        f.redraw(d.rect);
      }
    }
    add(f.covered, d.rect);
  }
}

SlotRows slotRowsNow() {
  SlotRows s;
  s.active = activeSlot;
  for (int i = 0; i < kSlotCount; ++i) {
    s.found[i] = slotFileFound[i];
    s.genomes[i] = slotGenomes[i];
  }
  return s;
}

// A panel part that shows something else, or lies elsewhere, is redrawn
// where it was and where it is.
void markPart(ComposedFrame& f, ScreenRect& drawn, const ScreenRect& now, bool changed) {
  if (changed || drawn != now) {
    f.redraw(drawn);
    f.redraw(now);
  }
  drawn = now;
  add(f.covered, now);
}

void markPanels(ComposedFrame& f, const FramePoints& p) {
  const SlotRows slots = slotRowsNow();
  markPart(f, f.drawnSlotsRect, slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep), !(slots == f.drawnSlots));
  f.drawnSlots = slots;

  markPart(f, f.drawnBarRect, toleranceBarRect(), false);

  const int32_t level = evolutionLevel();
  markPart(f, f.drawnLineRect, statusLineRect(), simulation.livingCount != f.drawnLiving || level != f.drawnLevel);
  f.drawnLiving = simulation.livingCount;
  f.drawnLevel = level;

  // The rectangle follows the mouse point; the text may change in place.
  markPart(f, f.drawnTooltipRect, tooltipRect(p.tooltipX, p.tooltipY),
           std::strncmp(tooltipText, f.drawnTooltip, sizeof f.drawnTooltip) != 0);
  std::memcpy(f.drawnTooltip, tooltipText, sizeof f.drawnTooltip);
}

// The graph's pixels that differ from the drawn ones are redrawn.
void markGraph(ComposedFrame& f, BITMAP* graph) {
  const ScreenRect place = graphRect();
  const int width = graph->w < kGraphWidth ? graph->w : kGraphWidth;
  for (int y = 0; y < kGraphHeight && y < graph->h; ++y) {
    const uint32_t* now = reinterpret_cast<const uint32_t*>(graph->line[y]);
    uint32_t* drawn = f.drawnGraph[y];
    if (std::memcmp(now, drawn, sizeof(uint32_t) * width) == 0) continue;
    for (int x = 0; x < width; ++x)
      if (now[x] != drawn[x]) f.redraw(ScreenRect::clipped(place.x0 + x, place.y0 + y, place.x0 + x + 1, place.y0 + y + 1));
    std::memcpy(drawn, now, sizeof(uint32_t) * width);
  }
}

// Cells 1..823 by 1..523 are drawn. The bits that differ from the drawn
// ones are written straight, or, under something drawn above the cells
// (Units, the tooltip, the cursor: the panels and the magnifier lie beside
// the world), restored with their tile's row.
void markCells(ComposedFrame& f, BITMAP* target, BITMAP* background) {
  preparePackedCells();
  uint16_t changed[kWorldWidth];
  takeShownChanges(changed);
  const uint32_t cell = (uint32_t)cellColour();
  for (int x = 1; x <= kWorldWidth - 2; ++x) {
    const int sx = x + WorldOffsetX, tx = sx / kTile;
    const uint64_t tileBit = uint64_t(1) << (tx % 64);
    for (uint16_t words = changed[x]; words; words &= words - 1) {
      const int w = __builtin_ctz(words);
      if (w >= kColumnWords) break;
      const uint64_t now = shownWord(x, w);
      uint64_t diff = now ^ f.drawnCells[w][x];
      f.drawnCells[w][x] = now;
      if (w == 0) diff &= ~uint64_t(1);                     // row 0
      if (w == kColumnWords - 1) diff &= kLastWordRows >> 1;  // rows from 524
      // A row of tiles at a time (its rows start at bit `first`), without
      // branches: each is either redrawn or written straight.
      uint64_t straight = 0;
      while (diff) {
        const int ty = (64 * w + __builtin_ctzll(diff) + WorldOffsetY) / kTile;
        const int first = ty * kTile - WorldOffsetY - 64 * w;
        const uint64_t inRow = (uint64_t)(((unsigned __int128)0xFF << (first + 8)) >> 8);
        const uint8_t rows = (uint8_t)(((unsigned __int128)diff << 8) >> (first + 8));
        const uint64_t under = -(((f.redrawn[ty][tx / 64] | f.covered[ty][tx / 64]) >> (tx % 64)) & 1);
        f.redrawn[ty][tx / 64] |= tileBit & under;
        f.restoredRows[ty][tx] |= rows & (uint8_t)under;
        f.written[ty][tx / 64] |= tileBit & ~under;
        straight |= diff & inRow & ~under;
        diff &= ~inRow;
      }
      for (; straight; straight &= straight - 1) {
        const int b = __builtin_ctzll(straight), sy = 64 * w + b + WorldOffsetY, ty = sy / kTile;
        const uint32_t under = f.backgroundTileFlat[ty][tx] ? f.backgroundTileColour[ty][tx]
                                                          : reinterpret_cast<const uint32_t*>(background->line[sy])[sx];
        reinterpret_cast<uint32_t*>(target->line[sy])[sx] = (now >> b) & 1 ? cell : under;
      }
    }
  }
}

// The magnifier is drawn again when its centre moved or something changed
// in its source square or its output; its output then covers its tiles.
// Returns whether it is drawn.
bool markMagnifier(ComposedFrame& f, const FramePoints& p, const ScreenRect& cursor) {
  const ScreenRect source = sourceSquare(p.magnifierX, p.magnifierY);
  const bool again = p.magnifierX != f.drawnMagnifierX || p.magnifierY != f.drawnMagnifierY ||
                     any(f.redrawn, source) || any(f.written, source) || any(f.redrawn, kMagnifierRect);
  f.drawnMagnifierX = p.magnifierX;
  f.drawnMagnifierY = p.magnifierY;
  if (!again) return false;
  // Its tiles are drawn again; restored beneath are only what the source
  // reads from under the output and the cursor.
  add(f.redrawn, kMagnifierRect);
  f.redraw(intersect(source, kMagnifierRect));
  f.redraw(intersect(source, cursor));
  return true;
}

// --- Drawing the changes ----------------------------------------------------------

// Eight pixels of a row of a tile, as one vector.
typedef uint32_t TileRow __attribute__((vector_size(32)));
static_assert(sizeof(TileRow) == sizeof(uint32_t) * kTile, "a tile row is one vector");

// For each pattern of 8 bits, the pixels to take from the cell colour.
struct RowMasks {
  TileRow m[256];
  RowMasks() {
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < kTile; ++i) m[b][i] = (b >> i) & 1 ? ~uint32_t(0) : 0;
  }
};
const RowMasks rowMasks;

// An 8 x 8 bit block transposed: bit j of byte i trades places with bit i
// of byte j.
inline uint64_t transpose8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  return x ^ t ^ (t << 28);
}

// The drawn cells of a tile, one byte per row (bit i: column i).
uint64_t tileCells(int tx, int ty) {
  const int cx0 = tx * kTile - WorldOffsetX, cy0 = ty * kTile - WorldOffsetY;
  if (cx0 + kTile <= 1 || cx0 > kWorldWidth - 2 || cy0 + kTile <= 1 || cy0 > kWorldHeight - 2) return 0;
  // Rows cy0..cy0 + 7 of a column as a byte; rows outside 1..523 are 0.
  uint64_t rows = 0xFF;
  if (cy0 < 1) rows &= 0xFFu << (1 - cy0);
  if (cy0 + kTile - 1 > kWorldHeight - 2) rows &= 0xFFu >> (cy0 + kTile - 1 - (kWorldHeight - 2));
  const int first = cy0 < 0 ? 0 : cy0;
  const int w0 = first >> 6, w1 = (cy0 + kTile - 1) >> 6, shift = first & 63;
  uint64_t columns = 0;
  for (int i = 0; i < kTile; ++i) {
    const int cx = cx0 + i;
    if (cx < 1 || cx > kWorldWidth - 2) continue;
    uint64_t bits = shownWord(cx, w0) >> shift;
    if (w1 != w0 && w1 < kColumnWords) bits |= shownWord(cx, w1) << (64 - shift);
    if (cy0 < 0) bits <<= -cy0;
    columns |= (bits & rows) << (8 * i);
  }
  return transpose8(columns);
}

// The background and the cells on the restored rows of every tile.
void restoreRows(const ComposedFrame& f, BITMAP* target, BITMAP* background) {
  const TileRow cell = TileRow{} + (uint32_t)cellColour();
  for (int ty = 0; ty < kTilesY; ++ty) {
    forEachRun(f.redrawn[ty], [&](int a, int b) {
      for (int tx = a; tx <= b; ++tx) {
        const unsigned rows = f.restoredRows[ty][tx];
        if (!rows) continue;
        const int x = tx * kTile;
        const uint64_t cells = tileCells(tx, ty);
        const bool flat = f.backgroundTileFlat[ty][tx];
        const TileRow flatColour = TileRow{} + f.backgroundTileColour[ty][tx];
        for (unsigned left = rows; left; left &= left - 1) {
          const int r = __builtin_ctz(left), y = ty * kTile + r;
          TileRow from = flatColour;
          if (!flat) std::memcpy(&from, reinterpret_cast<const uint32_t*>(background->line[y]) + x, sizeof from);
          const TileRow out = from ^ ((from ^ cell) & rowMasks.m[(cells >> (8 * r)) & 0xFF]);
          std::memcpy(reinterpret_cast<uint32_t*>(target->line[y]) + x, &out, sizeof out);
        }
      }
    });
  }
}

// Glyphs and circles of the Units that reach a redrawn tile, in slot order.
void drawUnits(const ComposedFrame& f, BITMAP* target) {
  for (int i = 0; i < kMaxUnits; ++i) {
    const DrawnUnit& d = f.drawnUnits[i];
    if (!d.shown || !any(f.redrawn, d.rect)) continue;
    // A whole glyph inside the screen on redrawn tiles is written straight.
    const int64_t left = (int64_t)d.px - kGlyphReach, top = (int64_t)d.py - kGlyphReach;
    const bool whole = d.glyphRect.x0 == left && d.glyphRect.y0 == top && d.glyphRect.x1 == left + kGlyphSide &&
                       d.glyphRect.y1 == top + kGlyphSide && all(f.redrawn, d.glyphRect);
    if (whole) {
      paintGlyph(d.ink, d.px, d.py, [&](int64_t x, int64_t y, int colour) {
        reinterpret_cast<uint32_t*>(target->line[y])[x] = (uint32_t)colour;
      });
    } else {
      paintGlyph(d.ink, d.px, d.py, [&](int64_t x, int64_t y, int colour) {
        if (x < 0 || x >= kScreenWidth || y < 0 || y >= kScreenHeight || !has(f.redrawn, (int)x / kTile, (int)y / kTile))
          return;
        reinterpret_cast<uint32_t*>(target->line[y])[x] = (uint32_t)colour;
      });
    }
    if (d.marker) drawClipped(f, target, d.rect, [&] { paintMarkers(target, d.px, d.py, d.marker); });
  }
}

// --- Starting over ------------------------------------------------------------------

void surveyBackground(ComposedFrame& f, BITMAP* background) {
  for (int ty = 0; ty < kTilesY; ++ty)
    for (int tx = 0; tx < kTilesX; ++tx) {
      const uint32_t first = reinterpret_cast<const uint32_t*>(background->line[ty * kTile])[tx * kTile];
      bool flat = true;
      for (int y = ty * kTile; y < (ty + 1) * kTile; ++y)
        for (int x = tx * kTile; x < (tx + 1) * kTile; ++x)
          flat = flat && reinterpret_cast<const uint32_t*>(background->line[y])[x] == first;
      f.backgroundTileFlat[ty][tx] = flat;
      f.backgroundTileColour[ty][tx] = first;
    }
}

// Everything the next call compares with, from the frame just composed
// whole.
void rememberWholeFrame(ComposedFrame& f, const FramePictures& pictures, const FramePoints& p) {
  surveyBackground(f, pictures.background);
  preparePackedCells();
  uint16_t changed[kWorldWidth];
  takeShownChanges(changed);
  for (int w = 0; w < kColumnWords; ++w)
    for (int x = 0; x < kWorldWidth; ++x) f.drawnCells[w][x] = shownWord(x, w);

  uint8_t marker[kMaxUnits];
  selectionMarkers(marker);
  for (int i = 0; i < kMaxUnits; ++i) {
    DrawnUnit& d = f.drawnUnits[i];
    d.shown = units.status[i] == Alive;
    placeUnit(d, wrapAdd(units.posX[i], WorldOffsetX), wrapAdd(units.posY[i], WorldOffsetY), marker[i]);
    d.genome = units.genome[i];
    d.ink = glyphInk(d.genome);
    d.inkValid = true;
  }

  f.drawnSlots = slotRowsNow();
  f.drawnSlotsRect = slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep);
  f.drawnBarRect = toleranceBarRect();
  f.drawnLineRect = statusLineRect();
  f.drawnLiving = simulation.livingCount;
  f.drawnLevel = evolutionLevel();
  f.drawnTooltipRect = tooltipRect(p.tooltipX, p.tooltipY);
  std::memcpy(f.drawnTooltip, tooltipText, sizeof f.drawnTooltip);
  if (BITMAP* graph = pictures.graph)
    for (int y = 0; y < kGraphHeight && y < graph->h; ++y)
      std::memcpy(f.drawnGraph[y], graph->line[y], sizeof(uint32_t) * (graph->w < kGraphWidth ? graph->w : kGraphWidth));
  f.drawnMagnifierX = p.magnifierX;
  f.drawnMagnifierY = p.magnifierY;
  f.drawnCursorRect = cursorRect(p);
}

}  // namespace

FramePoints readFramePoints() {
  FramePoints p;
  p.tooltipX = mouseX();
  p.tooltipY = mouseY();
  p.magnifierX = mouseX();
  p.magnifierY = mouseY();
  const int32_t primary = pickedSelection.primary();
  if (primary >= 0 && primary < kMaxUnits) {
    p.magnifierX = wrapAdd(units.posX[primary], WorldOffsetX);
    p.magnifierY = wrapAdd(units.posY[primary], WorldOffsetY);
  }
  p.cursorX = mouseX();
  p.cursorY = mouseY();
  return p;
}

void composeWholeFrame(BITMAP* target, const FramePictures& pictures, const FramePoints& p) {
  blit(pictures.background, target, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
  drawWorld(target, WorldOffsetX, WorldOffsetY);
  drawSlotRows(target, kSlotRowsX, kSlotRowsY, kSlotRowsStep);
  drawToleranceBar(target);
  drawGraph(target, pictures.graph);
  drawStatusLine(target);
  drawTooltip(target, p.tooltipX, p.tooltipY);
  drawMagnifier(target, p.magnifierX, p.magnifierY, kMagnifierX, kMagnifierY, kMagnifierFactor);
  masked_blit(pictures.cursor, target, 0, 0, p.cursorX, p.cursorY, kCursorSide, kCursorSide);
}

void forgetComposedFrame(ComposedFrame& f) {
  f.composed = false;
  releaseFrameCheck(f);
}

void composeChangedFrame(ComposedFrame& f, BITMAP* target, const FramePictures& pictures, const FramePoints& p,
                         bool graphChanged) {
  ++f.composedFrames;
  const bool same = f.composed && f.composedOn == target && f.composedFrom.background == pictures.background &&
                    f.composedFrom.cursor == pictures.cursor && f.composedFrom.graph == pictures.graph;
  if (!same || !canComposeChanges(target, pictures)) {
    composeWholeFrame(target, pictures, p);
    f.pending.add(ScreenRect{0, 0, kScreenWidth, kScreenHeight});
    f.composed = canComposeChanges(target, pictures);
    f.composedOn = target;
    f.composedFrom = pictures;
    if (f.composed) rememberWholeFrame(f, pictures, p);
    return;
  }

  std::memset(f.redrawn, 0, sizeof f.redrawn);
  std::memset(f.written, 0, sizeof f.written);
  std::memset(f.covered, 0, sizeof f.covered);
  std::memset(f.restoredRows, 0, sizeof f.restoredRows);

  markUnits(f);
  markPanels(f, p);
  if (graphChanged && pictures.graph) markGraph(f, pictures.graph);
  const ScreenRect cursor = cursorRect(p);
  if (cursor != f.drawnCursorRect) {
    f.redraw(f.drawnCursorRect);
    f.redraw(cursor);
  }
  f.drawnCursorRect = cursor;
  add(f.covered, cursor);
  markCells(f, target, pictures.background);
  const bool magnify = markMagnifier(f, p, cursor);

  set_clip_rect(target, 0, 0, target->w - 1, target->h - 1);
  restoreRows(f, target, pictures.background);
  drawUnits(f, target);
  drawClipped(f, target, slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep),
              [&] { drawSlotRows(target, kSlotRowsX, kSlotRowsY, kSlotRowsStep); });
  drawClipped(f, target, toleranceBarRect(), [&] { drawToleranceBar(target); });
  drawClipped(f, target, graphRect(), [&] { drawGraph(target, pictures.graph); });
  drawClipped(f, target, statusLineRect(), [&] { drawStatusLine(target); });
  drawClipped(f, target, tooltipRect(p.tooltipX, p.tooltipY), [&] { drawTooltip(target, p.tooltipX, p.tooltipY); });
  if (magnify) drawMagnifier(target, p.magnifierX, p.magnifierY, kMagnifierX, kMagnifierY, kMagnifierFactor);
  drawClipped(f, target, cursor,
              [&] { masked_blit(pictures.cursor, target, 0, 0, p.cursorX, p.cursorY, kCursorSide, kCursorSide); });
  collectChangedRegions(f.redrawn, f.written, f.pending);

  if (checkComposedFrames) checkAgainstWholeFrame(f, target, pictures, p);
}

void sendChangedRegions(ComposedFrame& f, BITMAP* from, BITMAP* screenBitmap) {
  for (int n = 0; n < f.pending.count; ++n) {
    const ScreenRect& r = f.pending.rects[n];
    blit(from, screenBitmap, r.x0, r.y0, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
    if (checkComposedFrames) copyForScreenCheck(f, from, r);
  }
  f.pending.count = 0;
  if (checkComposedFrames) checkScreenCopy(f, from);
}

void markScreenDamaged(ComposedFrame& f, const ScreenRect& rect) { f.pending.add(rect); }

void markScreenLost(ComposedFrame& f) { f.pending.add(ScreenRect{0, 0, kScreenWidth, kScreenHeight}); }
