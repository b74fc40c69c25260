// The slot panel: one row per genome slot with the active-slot marker, the
// label and the slot's glyph in a black square. The slot files are re-read
// into the slot genomes inside this loop every 50 frames.
#include <allegro.h>

#include <cstdio>

#include "genome/arith.h"
#include "persist/slotfile.h"
#include "ui/draw_util.h"
#include "ui/ui.h"

bool slotFileFound[7] = {};

namespace {

constexpr int32_t kRefreshPeriod = 50;

using ui_detail::saneCoord;

void fillSquare(BITMAP* bitmap, int32_t x, int32_t y) {
  if (!saneCoord(x) || !saneCoord(y)) return;
  rectfill(bitmap, x - 3, y - 3, x + 3, y + 3, 0);
}

void disc(BITMAP* bitmap, int32_t x, int32_t y, int radius, int colour) {
  if (!saneCoord(x) || !saneCoord(y)) return;
  circlefill(bitmap, x, y, radius, colour);
}

}  // namespace

void refreshSlotPanel() {
  const bool reread = slotRefreshTimer == 0;
  if (reread)
    for (int i = 0; i < kSlotCount; ++i) slotFileFound[i] = refreshSlotGenomes(i);
  // A timer left below 0 starts a new period as 0 would.
  if (slotRefreshTimer <= 0) slotRefreshTimer = kRefreshPeriod;
  slotRefreshTimer -= 1;
}

void drawSlotRows(BITMAP* bitmap, int x, int y, int step) {
  if (!bitmap) return;
  const int bright = makecol(0, 255, 225), pale = makecol(200, 255, 225), dim = makecol(0, 100, 90);
  for (int i = 0; i < kSlotCount; ++i) {
    const int32_t rowOffset = wrapMul(step, i);
    const int32_t cy = wrapAdd(y, rowOffset);
    const int32_t markerX = wrapSub(x, kSlotMarkerDX);

    fillSquare(bitmap, x, cy);
    if (i == activeSlot) {
      disc(bitmap, markerX, cy, 4, bright);
      disc(bitmap, markerX, cy, 2, pale);
    } else {
      disc(bitmap, markerX, cy, 4, dim);
    }
    if (slotFileFound[i]) drawUnitGlyph(bitmap, 1000 + i, x, cy);

    const int32_t labelY = wrapAdd(kSlotRowsY - kSlotLabelDY, rowOffset);
    if (saneCoord(labelY))
      textprintf_centre_ex(bitmap, ui_detail::textFont(), kSlotLabelX, labelY, bright, -1, "Slot %d", i);
  }
}

ScreenRect slotRowsRect(int x, int y, int step) {
  ScreenRect r;
  for (int i = 0; i < kSlotCount; ++i) {
    const int64_t cy = wrapAdd(y, wrapMul(step, i)), markerX = wrapSub(x, kSlotMarkerDX);
    r = r.unite(ScreenRect::clipped((int64_t)x - 3, cy - 3, (int64_t)x + 4, cy + 4));
    r = r.unite(ScreenRect::clipped(markerX - 4, cy - 4, markerX + 5, cy + 5));
    char label[16];
    std::snprintf(label, sizeof label, "Slot %d", i);
    r = r.unite(ui_detail::centredTextRect(kSlotLabelX, wrapAdd(kSlotRowsY - kSlotLabelDY, wrapMul(step, i)), label));
  }
  return r;
}

// The rows are drawn after the re-read, which changes only the genomes that
// the glyphs show: the picture is the one of a re-read between the rows.
void drawSlotPanel(BITMAP* bitmap, int x, int y, int step) {
  if (!bitmap) return;
  refreshSlotPanel();
  drawSlotRows(bitmap, x, y, step);
}
