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
// screen, in few rectangles.
#include "ui/compose.h"

#include <allegro.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "genome/arith.h"
#include "persist/slotfile.h"
#include "selection/selection.h"
#include "ui/draw_util.h"
#include "ui/input.h"
#include "units/units.h"
#include "world/cellfield.h"

bool checkComposedFrames = false;
long frameDifferences = 0;
char firstFrameDifference[160] = "";

namespace {

using ui_detail::GlyphInk;

constexpr ScreenRect kMagnifierRect = ScreenRect::of(kMagnifierArea);

ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
  ScreenRect r{a.x0 > b.x0 ? a.x0 : b.x0, a.y0 > b.y0 ? a.y0 : b.y0, a.x1 < b.x1 ? a.x1 : b.x1,
               a.y1 < b.y1 ? a.y1 : b.y1};
  return r.empty() ? ScreenRect{} : r;
}

// --- Tiles ----------------------------------------------------------------------

constexpr int kTile = 8;
constexpr int kTilesX = kScreenWidth / kTile, kTilesY = kScreenHeight / kTile;
constexpr int kRowWords = kTilesX / 64;
static_assert(kScreenWidth % (64 * kTile) == 0 && kScreenHeight % kTile == 0, "whole words of whole tiles");

// A set of tiles: bit tx % 64 of word tx / 64 in row ty.
using TileSet = uint64_t[kTilesY][kRowWords];

TileSet redrawn;  // the layers above the cells are drawn again
TileSet written;  // cells were written straight
TileSet covered;  // something is drawn above the cells this frame
// The rows of each tile restored from the background with its cells.
uint8_t restoredRows[kTilesY][kTilesX];

// The tiles a rectangle covers: rows ty0..ty1, and in each row the bits of
// mask.
struct TileSpan {
  int tx0, tx1, ty0, ty1;
  uint64_t mask[kRowWords];
  explicit TileSpan(const ScreenRect& r) {
    tx0 = r.x0 / kTile;
    tx1 = (r.x1 - 1) / kTile;
    ty0 = r.y0 / kTile;
    ty1 = r.empty() ? ty0 - 1 : (r.y1 - 1) / kTile;
    for (int k = 0; k < kRowWords; ++k) {
      const int lo = tx0 > 64 * k ? tx0 - 64 * k : 0, hi = tx1 < 64 * k + 63 ? tx1 - 64 * k : 63;
      mask[k] = lo > hi ? 0 : (~uint64_t(0) >> (63 - (hi - lo))) << lo;
    }
  }
};

void add(TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k) set[ty][k] |= t.mask[k];
}

bool any(const TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k)
      if (set[ty][k] & t.mask[k]) return true;
  return false;
}

bool all(const TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k)
      if ((set[ty][k] & t.mask[k]) != t.mask[k]) return false;
  return true;
}

inline bool has(const TileSet& set, int tx, int ty) { return (set[ty][tx / 64] >> (tx % 64)) & 1; }

// Redraws r: its tiles, with its rows of them restored.
void redraw(const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty) {
    for (int k = 0; k < kRowWords; ++k) redrawn[ty][k] |= t.mask[k];
    const int top = ty == t.ty0 ? r.y0 % kTile : 0, bottom = ty == t.ty1 ? (r.y1 - 1) % kTile : kTile - 1;
    const uint8_t rows = (uint8_t)((0xFFu >> (kTile - 1 - (bottom - top))) << top);
    for (int tx = t.tx0; tx <= t.tx1; ++tx) restoredRows[ty][tx] |= rows;
  }
}

// The runs of set bits (first and last tile) of one row of tiles.
template <typename F>
void forEachRun(const uint64_t bits[kRowWords], F f) {
  int t = 0;
  while (t < kTilesX) {
    int k = t / 64;
    uint64_t w = bits[k] & (~uint64_t(0) << (t % 64));
    while (!w && ++k < kRowWords) w = bits[k];
    if (!w) return;
    const int first = 64 * k + __builtin_ctzll(w);
    k = first / 64;
    uint64_t gap = ~bits[k] & (~uint64_t(0) << (first % 64));
    while (!gap && ++k < kRowWords) gap = ~bits[k];
    const int end = gap ? 64 * k + __builtin_ctzll(gap) : kTilesX;
    f(first, end - 1);
    t = end;
  }
}

// The redrawn parts of r as rectangles: the runs of each row of tiles, rows
// with the same runs taken together, each clipped to r.
template <typename F>
void forEachRedrawnRect(const ScreenRect& r, F f) {
  if (r.empty()) return;
  const TileSpan span(r);
  uint64_t group[kRowWords] = {};
  int groupTop = span.ty0;
  for (int ty = span.ty0; ty <= span.ty1 + 1; ++ty) {
    uint64_t row[kRowWords] = {};
    if (ty <= span.ty1)
      for (int k = 0; k < kRowWords; ++k) row[k] = redrawn[ty][k] & span.mask[k];
    if (ty <= span.ty1 && std::memcmp(row, group, sizeof row) == 0) continue;
    forEachRun(group, [&](int a, int b) {
      const ScreenRect part = intersect(r, ScreenRect{a * kTile, groupTop * kTile, (b + 1) * kTile, ty * kTile});
      if (!part.empty()) f(part);
    });
    std::memcpy(group, row, sizeof row);
    groupTop = ty;
  }
}

// Draws with target clipped to each redrawn part of r.
template <typename F>
void drawClipped(BITMAP* target, const ScreenRect& r, F draw) {
  forEachRedrawnRect(r, [&](const ScreenRect& part) {
    set_clip_rect(target, part.x0, part.y0, part.x1 - 1, part.y1 - 1);
    draw();
  });
  set_clip_rect(target, 0, 0, target->w - 1, target->h - 1);
}

// --- What the previous frame drew ------------------------------------------

bool composed = false;  // target holds the frame of the previous call
BITMAP* composedOn = nullptr;
FramePictures composedFrom{};

// The tiles of the background that are one colour all over, and their
// colours: those need not be read.
bool backgroundTileFlat[kTilesY][kTilesX];
uint32_t backgroundTileColour[kTilesY][kTilesX];

// The shown cells, word by word, as drawn.
uint64_t drawnCells[kColumnWords][kWorldWidth];

struct DrawnUnit {
  bool shown;
  bool inkValid;  // ink is genome's
  uint8_t marker;
  int32_t px, py;
  ScreenRect glyphRect, rect;  // the glyph's square; with the circles
  GlyphInk ink;
  Genome genome;
};
DrawnUnit drawnUnits[kMaxUnits];

// The panels, by what they show.
struct SlotRows {
  int32_t active;
  bool found[kSlotCount];
  Genome genomes[kSlotCount];
  bool operator==(const SlotRows& o) const {
    if (active != o.active) return false;
    for (int i = 0; i < kSlotCount; ++i)
      if (found[i] != o.found[i] || (found[i] && genomes[i] != o.genomes[i])) return false;
    return true;
  }
};
SlotRows drawnSlots;
ScreenRect drawnSlotsRect, drawnBarRect, drawnLineRect, drawnTooltipRect;
int32_t drawnLiving, drawnLevel;
char drawnTooltip[sizeof tooltipText];
int drawnMagnifierX, drawnMagnifierY;
ScreenRect drawnCursorRect;

// The graph's pixels as drawn, row by row.
uint32_t drawnGraph[kGraphHeight][kGraphWidth];

// --- The regions to send ------------------------------------------------------

constexpr int kMaxRegions = 4096;
ScreenRect pendingRegions[kMaxRegions];
int pendingCount = 0;

void addPending(const ScreenRect& r) {
  if (r.empty()) return;
  if (pendingCount == kMaxRegions) {
    pendingRegions[0] = ScreenRect{0, 0, kScreenWidth, kScreenHeight};
    pendingCount = 1;
    return;
  }
  pendingRegions[pendingCount++] = r;
}

// A blit to the screen costs about as much as copying this many pixels more
// (under X11, measured with bench/window.sh): neighbouring changed runs are
// sent as one rectangle when that covers at most this many unchanged pixels.
constexpr int64_t kBlitCost = 4000;

inline int64_t area(const ScreenRect& r) { return (int64_t)(r.x1 - r.x0) * (r.y1 - r.y0); }

// The changed tiles as few rectangles: each row's runs, close runs joined,
// then stacked onto the rectangles of the rows above where that is cheaper
// than another blit.
void collectChangedRegions() {
  constexpr int kMaxOpen = 64;
  ScreenRect open[kMaxOpen];
  bool extended[kMaxOpen];
  int openCount = 0;
  for (int ty = 0; ty <= kTilesY; ++ty) {
    ScreenRect runs[kTilesX];
    int runCount = 0;
    if (ty < kTilesY) {
      uint64_t changed[kRowWords];
      for (int k = 0; k < kRowWords; ++k) changed[k] = redrawn[ty][k] | written[ty][k];
      forEachRun(changed, [&](int a, int b) {
        const ScreenRect run{a * kTile, ty * kTile, (b + 1) * kTile, (ty + 1) * kTile};
        if (runCount > 0 && (int64_t)(run.x0 - runs[runCount - 1].x1) * kTile <= kBlitCost)
          runs[runCount - 1].x1 = run.x1;
        else
          runs[runCount++] = run;
      });
    }
    for (int o = 0; o < openCount; ++o) extended[o] = false;
    for (int n = 0; n < runCount; ++n) {
      const ScreenRect& run = runs[n];
      int chosen = -1;
      for (int o = 0; o < openCount && chosen < 0; ++o) {
        const ScreenRect joined = open[o].unite(run);
        if (open[o].y1 == run.y0 && area(joined) <= area(open[o]) + area(run) + kBlitCost) chosen = o;
      }
      if (chosen >= 0) {
        open[chosen] = open[chosen].unite(run);
        extended[chosen] = true;
      } else if (openCount < kMaxOpen) {
        open[openCount] = run;
        extended[openCount++] = true;
      } else {
        addPending(run);
      }
    }
    // Rectangles the row did not reach are finished.
    int kept = 0;
    for (int o = 0; o < openCount; ++o) {
      if (extended[o])
        open[kept++] = open[o];
      else
        addPending(open[o]);
    }
    openCount = kept;
  }
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
  d.glyphRect = ScreenRect::clipped((int64_t)px - 3, (int64_t)py - 3, (int64_t)px + 3, (int64_t)py + 3);
  const int r = marker & ui_detail::kMarkerBig ? 10 : marker ? 5 : 0;
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

void markUnits() {
  uint8_t marker[kMaxUnits];
  ui_detail::selectionMarkers(marker);
  for (int i = 0; i < kMaxUnits; ++i) {
    DrawnUnit& d = drawnUnits[i];
    if (units.status[i] != Alive) {
      if (d.shown) redraw(d.rect);
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
        d.ink = ui_detail::glyphInk(d.genome);
        d.inkValid = true;
      }
      // A step to a square that overlaps the old one: both at once.
      if (wasShown && !intersect(was, d.rect).empty()) {
        redraw(was.unite(d.rect));
      } else {
        if (wasShown) redraw(was);
        redraw(d.rect);
      }
    }
    add(covered, d.rect);
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
void markPart(ScreenRect& drawn, const ScreenRect& now, bool changed) {
  if (changed || drawn != now) {
    redraw(drawn);
    redraw(now);
  }
  drawn = now;
  add(covered, now);
}

void markPanels(const FramePoints& p) {
  const SlotRows slots = slotRowsNow();
  markPart(drawnSlotsRect, slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep), !(slots == drawnSlots));
  drawnSlots = slots;

  markPart(drawnBarRect, toleranceBarRect(), false);

  const int32_t level = evolutionLevel();
  markPart(drawnLineRect, statusLineRect(), simulation.livingCount != drawnLiving || level != drawnLevel);
  drawnLiving = simulation.livingCount;
  drawnLevel = level;

  // The rectangle follows the mouse point; the text may change in place.
  markPart(drawnTooltipRect, tooltipRect(p.tooltipX, p.tooltipY),
           std::strncmp(tooltipText, drawnTooltip, sizeof drawnTooltip) != 0);
  std::memcpy(drawnTooltip, tooltipText, sizeof drawnTooltip);
}

// The graph's pixels that differ from the drawn ones are redrawn.
void markGraph(BITMAP* graph) {
  const ScreenRect place = graphRect();
  const int width = graph->w < kGraphWidth ? graph->w : kGraphWidth;
  for (int y = 0; y < kGraphHeight && y < graph->h; ++y) {
    const uint32_t* now = reinterpret_cast<const uint32_t*>(graph->line[y]);
    uint32_t* drawn = drawnGraph[y];
    if (std::memcmp(now, drawn, sizeof(uint32_t) * width) == 0) continue;
    for (int x = 0; x < width; ++x)
      if (now[x] != drawn[x]) redraw(ScreenRect::clipped(place.x0 + x, place.y0 + y, place.x0 + x + 1, place.y0 + y + 1));
    std::memcpy(drawn, now, sizeof(uint32_t) * width);
  }
}

// Cells 1..823 by 1..523 are drawn. The bits that differ from the drawn
// ones are written straight, or, under something drawn above the cells
// (Units, the tooltip, the cursor: the panels and the magnifier lie beside
// the world), restored with their tile's row.
void markCells(BITMAP* target, BITMAP* background) {
  preparePackedCells();
  uint16_t changed[kWorldWidth];
  takeShownChanges(changed);
  const uint32_t cellColour = (uint32_t)makecol(50, 160, 160);
  for (int x = 1; x <= kWorldWidth - 2; ++x) {
    const int sx = x + WorldOffsetX, tx = sx / kTile;
    const uint64_t tileBit = uint64_t(1) << (tx % 64);
    for (uint16_t words = changed[x]; words; words &= words - 1) {
      const int w = __builtin_ctz(words);
      if (w >= kColumnWords) break;
      const uint64_t now = shownWord(x, w);
      uint64_t diff = now ^ drawnCells[w][x];
      drawnCells[w][x] = now;
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
        const uint64_t under = -(((redrawn[ty][tx / 64] | covered[ty][tx / 64]) >> (tx % 64)) & 1);
        redrawn[ty][tx / 64] |= tileBit & under;
        restoredRows[ty][tx] |= rows & (uint8_t)under;
        written[ty][tx / 64] |= tileBit & ~under;
        straight |= diff & inRow & ~under;
        diff &= ~inRow;
      }
      for (; straight; straight &= straight - 1) {
        const int b = __builtin_ctzll(straight), sy = 64 * w + b + WorldOffsetY, ty = sy / kTile;
        const uint32_t under = backgroundTileFlat[ty][tx] ? backgroundTileColour[ty][tx]
                                                          : reinterpret_cast<const uint32_t*>(background->line[sy])[sx];
        reinterpret_cast<uint32_t*>(target->line[sy])[sx] = (now >> b) & 1 ? cellColour : under;
      }
    }
  }
}

// The magnifier is drawn again when its centre moved or something changed
// in its source square or its output; its output then covers its tiles.
// Returns whether it is drawn.
bool markMagnifier(const FramePoints& p, const ScreenRect& cursor) {
  const ScreenRect source = sourceSquare(p.magnifierX, p.magnifierY);
  const bool again = p.magnifierX != drawnMagnifierX || p.magnifierY != drawnMagnifierY || any(redrawn, source) ||
                     any(written, source) || any(redrawn, kMagnifierRect);
  drawnMagnifierX = p.magnifierX;
  drawnMagnifierY = p.magnifierY;
  if (!again) return false;
  // Its tiles are drawn again; restored beneath are only what the source
  // reads from under the output and the cursor.
  add(redrawn, kMagnifierRect);
  redraw(intersect(source, kMagnifierRect));
  redraw(intersect(source, cursor));
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
void restoreRows(BITMAP* target, BITMAP* background) {
  const TileRow cellColour = TileRow{} + (uint32_t)makecol(50, 160, 160);
  for (int ty = 0; ty < kTilesY; ++ty) {
    forEachRun(redrawn[ty], [&](int a, int b) {
      for (int tx = a; tx <= b; ++tx) {
        const unsigned rows = restoredRows[ty][tx];
        if (!rows) continue;
        const int x = tx * kTile;
        const uint64_t cells = tileCells(tx, ty);
        const bool flat = backgroundTileFlat[ty][tx];
        const TileRow flatColour = TileRow{} + backgroundTileColour[ty][tx];
        for (unsigned left = rows; left; left &= left - 1) {
          const int r = __builtin_ctz(left), y = ty * kTile + r;
          TileRow from = flatColour;
          if (!flat) std::memcpy(&from, reinterpret_cast<const uint32_t*>(background->line[y]) + x, sizeof from);
          const TileRow out = from ^ ((from ^ cellColour) & rowMasks.m[(cells >> (8 * r)) & 0xFF]);
          std::memcpy(reinterpret_cast<uint32_t*>(target->line[y]) + x, &out, sizeof out);
        }
      }
    });
  }
}

// Where gene k's pixel lies in the glyph's square.
constexpr int8_t kGlyphColumn[36] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2,
                                     3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
constexpr int8_t kGlyphRow[36] = {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5,
                                  0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5};

// Glyphs and circles of the Units that reach a redrawn tile, in slot order.
void drawUnits(BITMAP* target) {
  const int white = makecol(255, 255, 255), red = makecol(255, 0, 0);
  for (int i = 0; i < kMaxUnits; ++i) {
    const DrawnUnit& d = drawnUnits[i];
    if (!d.shown || !any(redrawn, d.rect)) continue;
    const int64_t left = (int64_t)d.px - 3, top = (int64_t)d.py - 3;
    // A whole glyph inside the screen on redrawn tiles is written straight.
    const bool whole = d.glyphRect.x0 == left && d.glyphRect.y0 == top && d.glyphRect.x1 == left + 6 &&
                       d.glyphRect.y1 == top + 6 && all(redrawn, d.glyphRect);
    for (uint64_t bits = d.ink.set; bits; bits &= bits - 1) {
      const int k = __builtin_ctzll(bits);
      const int64_t x = left + kGlyphColumn[k], y = top + kGlyphRow[k];
      if (!whole && (x < 0 || x >= kScreenWidth || y < 0 || y >= kScreenHeight ||
                     !has(redrawn, (int)x / kTile, (int)y / kTile)))
        continue;
      reinterpret_cast<uint32_t*>(target->line[y])[x] =
          (uint32_t)((d.ink.full >> k) & 1 ? d.ink.fullColour : d.ink.darkColour);
    }
    if (!d.marker) continue;
    const int colour = d.marker & ui_detail::kMarkerRed ? red : white;
    drawClipped(target, d.rect, [&] {
      ui_detail::markerCircle(target, d.px, d.py, 5, colour);
      if (d.marker & ui_detail::kMarkerBig) ui_detail::markerCircle(target, d.px, d.py, 10, colour);
    });
  }
}

// --- Starting over ------------------------------------------------------------------

void surveyBackground(BITMAP* background) {
  for (int ty = 0; ty < kTilesY; ++ty)
    for (int tx = 0; tx < kTilesX; ++tx) {
      const uint32_t first = reinterpret_cast<const uint32_t*>(background->line[ty * kTile])[tx * kTile];
      bool flat = true;
      for (int y = ty * kTile; y < (ty + 1) * kTile; ++y)
        for (int x = tx * kTile; x < (tx + 1) * kTile; ++x)
          flat = flat && reinterpret_cast<const uint32_t*>(background->line[y])[x] == first;
      backgroundTileFlat[ty][tx] = flat;
      backgroundTileColour[ty][tx] = first;
    }
}

// Everything the next call compares with, from the frame just composed
// whole.
void rememberWholeFrame(const FramePictures& pictures, const FramePoints& p) {
  surveyBackground(pictures.background);
  preparePackedCells();
  uint16_t changed[kWorldWidth];
  takeShownChanges(changed);
  for (int w = 0; w < kColumnWords; ++w)
    for (int x = 0; x < kWorldWidth; ++x) drawnCells[w][x] = shownWord(x, w);

  uint8_t marker[kMaxUnits];
  ui_detail::selectionMarkers(marker);
  for (int i = 0; i < kMaxUnits; ++i) {
    DrawnUnit& d = drawnUnits[i];
    d.shown = units.status[i] == Alive;
    placeUnit(d, wrapAdd(units.posX[i], WorldOffsetX), wrapAdd(units.posY[i], WorldOffsetY), marker[i]);
    d.genome = units.genome[i];
    d.ink = ui_detail::glyphInk(d.genome);
    d.inkValid = true;
  }

  drawnSlots = slotRowsNow();
  drawnSlotsRect = slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep);
  drawnBarRect = toleranceBarRect();
  drawnLineRect = statusLineRect();
  drawnLiving = simulation.livingCount;
  drawnLevel = evolutionLevel();
  drawnTooltipRect = tooltipRect(p.tooltipX, p.tooltipY);
  std::memcpy(drawnTooltip, tooltipText, sizeof drawnTooltip);
  if (BITMAP* graph = pictures.graph)
    for (int y = 0; y < kGraphHeight && y < graph->h; ++y)
      std::memcpy(drawnGraph[y], graph->line[y], sizeof(uint32_t) * (graph->w < kGraphWidth ? graph->w : kGraphWidth));
  drawnMagnifierX = p.magnifierX;
  drawnMagnifierY = p.magnifierY;
  drawnCursorRect = cursorRect(p);
}

// --- Checking -------------------------------------------------------------------

BITMAP* checkFrame = nullptr;   // the frame composed whole
BITMAP* checkScreen = nullptr;  // what the screen was sent
long composedFrames = 0;

void compare(BITMAP* a, BITMAP* b, const char* what) {
  for (int y = 0; y < a->h; ++y) {
    if (is_memory_bitmap(a) && is_memory_bitmap(b) && bitmap_color_depth(a) == 32 && bitmap_color_depth(b) == 32 &&
        std::memcmp(a->line[y], b->line[y], sizeof(uint32_t) * a->w) == 0)
      continue;
    for (int x = 0; x < a->w; ++x)
      if (getpixel(a, x, y) != getpixel(b, x, y)) {
        if (frameDifferences++ == 0)
          std::snprintf(firstFrameDifference, sizeof firstFrameDifference,
                        "frame %ld: %s differs from the whole frame at (%d, %d): %06x, not %06x", composedFrames, what,
                        x, y, (unsigned)getpixel(a, x, y), (unsigned)getpixel(b, x, y));
        return;
      }
  }
}

BITMAP* checkBitmap(BITMAP*& b, BITMAP* like) {
  if (!b || b->w != like->w || b->h != like->h || bitmap_color_depth(b) != bitmap_color_depth(like)) {
    if (b) destroy_bitmap(b);
    b = create_bitmap_ex(bitmap_color_depth(like), like->w, like->h);
    if (!b) {
      std::fprintf(stderr, "tarn: no memory for checking the frames\n");
      std::exit(-1);
    }
    clear_to_color(b, 0);
  }
  return b;
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

void forgetComposedFrame() {
  composed = false;
  for (BITMAP** b : {&checkFrame, &checkScreen}) {
    if (*b) destroy_bitmap(*b);
    *b = nullptr;
  }
}

void composeChangedFrame(BITMAP* target, const FramePictures& pictures, const FramePoints& p, bool graphChanged) {
  ++composedFrames;
  const bool same = composed && composedOn == target && composedFrom.background == pictures.background &&
                    composedFrom.cursor == pictures.cursor && composedFrom.graph == pictures.graph;
  if (!same || !canComposeChanges(target, pictures)) {
    composeWholeFrame(target, pictures, p);
    addPending(ScreenRect{0, 0, kScreenWidth, kScreenHeight});
    composed = canComposeChanges(target, pictures);
    composedOn = target;
    composedFrom = pictures;
    if (composed) rememberWholeFrame(pictures, p);
    return;
  }

  std::memset(redrawn, 0, sizeof redrawn);
  std::memset(written, 0, sizeof written);
  std::memset(covered, 0, sizeof covered);
  std::memset(restoredRows, 0, sizeof restoredRows);

  markUnits();
  markPanels(p);
  if (graphChanged && pictures.graph) markGraph(pictures.graph);
  const ScreenRect cursor = cursorRect(p);
  if (cursor != drawnCursorRect) {
    redraw(drawnCursorRect);
    redraw(cursor);
  }
  drawnCursorRect = cursor;
  add(covered, cursor);
  markCells(target, pictures.background);
  const bool magnify = markMagnifier(p, cursor);

  set_clip_rect(target, 0, 0, target->w - 1, target->h - 1);
  restoreRows(target, pictures.background);
  drawUnits(target);
  drawClipped(target, slotRowsRect(kSlotRowsX, kSlotRowsY, kSlotRowsStep),
              [&] { drawSlotRows(target, kSlotRowsX, kSlotRowsY, kSlotRowsStep); });
  drawClipped(target, toleranceBarRect(), [&] { drawToleranceBar(target); });
  drawClipped(target, graphRect(), [&] { drawGraph(target, pictures.graph); });
  drawClipped(target, statusLineRect(), [&] { drawStatusLine(target); });
  drawClipped(target, tooltipRect(p.tooltipX, p.tooltipY), [&] { drawTooltip(target, p.tooltipX, p.tooltipY); });
  if (magnify) drawMagnifier(target, p.magnifierX, p.magnifierY, kMagnifierX, kMagnifierY, kMagnifierFactor);
  drawClipped(target, cursor,
              [&] { masked_blit(pictures.cursor, target, 0, 0, p.cursorX, p.cursorY, kCursorSide, kCursorSide); });
  collectChangedRegions();

  if (checkComposedFrames) {
    BITMAP* whole = checkBitmap(checkFrame, target);
    composeWholeFrame(whole, pictures, p);
    compare(target, whole, "the back buffer");
  }
}

void sendChangedRegions(BITMAP* from, BITMAP* screenBitmap) {
  for (int n = 0; n < pendingCount; ++n) {
    const ScreenRect& r = pendingRegions[n];
    blit(from, screenBitmap, r.x0, r.y0, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
    if (checkComposedFrames) blit(from, checkBitmap(checkScreen, from), r.x0, r.y0, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
  }
  pendingCount = 0;
  if (checkComposedFrames) compare(checkBitmap(checkScreen, from), from, "the screen");
}

void markScreenDamaged(const ScreenRect& rect) { addPending(rect); }

void markScreenLost() { addPending(ScreenRect{0, 0, kScreenWidth, kScreenHeight}); }
