// What the composer keeps from one frame to the next: what the back buffer
// holds (the cells, each Unit's glyph, place and circles, what the panels
// show, the graph's pixels, the magnifier's centre and the cursor's place),
// the background's survey, this frame's tiles, and the rectangles not yet
// sent to the screen. The frame loop owns one and passes it to
// composeChangedFrame and sendChangedRegions; it holds no bitmap of its own
// but the frame check's, which forgetComposedFrame releases.
#pragma once
#include <cstdint>

#include "genome/genome.h"
#include "persist/slotfile.h"
#include "ui/compose.h"
#include "ui/painter.h"
#include "ui/tiles.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace ui_detail {

// A slot's glyph, place and circles as drawn.
struct DrawnUnit {
  bool shown;
  bool inkValid;  // ink is genome's
  uint8_t marker;
  int32_t px, py;
  ScreenRect glyphRect, rect;  // the glyph's square; with the circles
  GlyphInk ink;
  Genome genome;
};

// The slot rows by what they show.
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

}  // namespace ui_detail

struct ComposedFrame {
  using TileSet = ui_detail::TileSet;

  // This frame's tiles.
  TileSet redrawn = {};  // the layers above the cells are drawn again
  TileSet written = {};  // cells were written straight
  TileSet covered = {};  // something is drawn above the cells this frame
  // The rows of each tile restored from the background with its cells.
  uint8_t restoredRows[ui_detail::kTilesY][ui_detail::kTilesX] = {};

  // Redraws r: its tiles, with its rows of them restored.
  void redraw(const ScreenRect& r);

  // The previous frame: on which bitmap, from which pictures.
  bool composed = false;  // composedOn holds the frame of the previous call
  BITMAP* composedOn = nullptr;
  FramePictures composedFrom{};

  // The tiles of the background that are one colour all over, and their
  // colours: those need not be read.
  bool backgroundTileFlat[ui_detail::kTilesY][ui_detail::kTilesX] = {};
  uint32_t backgroundTileColour[ui_detail::kTilesY][ui_detail::kTilesX] = {};

  // What was drawn: the shown cells word by word, the Units, the panels.
  uint64_t drawnCells[kColumnWords][kWorldWidth] = {};
  ui_detail::DrawnUnit drawnUnits[kMaxUnits] = {};
  ui_detail::SlotRows drawnSlots = {};
  ScreenRect drawnSlotsRect, drawnBarRect, drawnLineRect, drawnTooltipRect;
  int32_t drawnLiving = 0, drawnLevel = 0;
  char drawnTooltip[sizeof tooltipText] = {};
  int drawnMagnifierX = 0, drawnMagnifierY = 0;
  ScreenRect drawnCursorRect;
  uint32_t drawnGraph[kGraphHeight][kGraphWidth] = {};

  // The rectangles to send.
  ui_detail::RegionList pending;

  // The frame check's bitmaps: the frame composed whole, and what the
  // screen was sent; and the frames composed, to name one that differs.
  BITMAP* checkFrame = nullptr;
  BITMAP* checkScreen = nullptr;
  long composedFrames = 0;
};

namespace ui_detail {

// The frame check (checkComposedFrames): the back buffer against the frame
// composed whole, and the screen's copy against the back buffer.
void checkAgainstWholeFrame(ComposedFrame& frame, BITMAP* target, const FramePictures& pictures,
                            const FramePoints& points);
void copyForScreenCheck(ComposedFrame& frame, BITMAP* from, const ScreenRect& r);
void checkScreenCopy(ComposedFrame& frame, BITMAP* from);
void releaseFrameCheck(ComposedFrame& frame);

}  // namespace ui_detail
