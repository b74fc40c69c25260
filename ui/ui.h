// Presentation: everything drawn besides the background, and the on-screen
// buttons. Drawing goes to Allegro bitmaps; the simulation tables are read
// directly.
#pragma once
#include <cstdint>

#include "ui/layout.h"

struct BITMAP;
struct FONT;

// State shared by the frame loop and the panels.
extern FONT* uiFont;
extern float tolerance;     // Similarity-Tolerance, 0 to 40
extern int32_t activeSlot;  // 0 to 6
extern int32_t paused;

int pointInRect(int px, int py, int x1, int y1, int x2, int y2);

// Screen pixels x0..x1 - 1 by y0..y1 - 1; empty when x0 >= x1 or y0 >= y1.
struct ScreenRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  bool empty() const { return x0 >= x1 || y0 >= y1; }
  // The pixels of a layout rectangle.
  static constexpr ScreenRect of(const LayoutRect& r) { return ScreenRect{r.x1, r.y1, r.x2 + 1, r.y2 + 1}; }
  // x0..x1 - 1 by y0..y1 - 1 held to the screen.
  static ScreenRect clipped(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    auto hold = [](int64_t v, int limit) { return (int)(v < 0 ? 0 : v > limit ? limit : v); };
    ScreenRect r{hold(x0, kScreenWidth), hold(y0, kScreenHeight), hold(x1, kScreenWidth), hold(y1, kScreenHeight)};
    return r.empty() ? ScreenRect{} : r;
  }
  // The smallest rectangle holding both.
  ScreenRect unite(const ScreenRect& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return ScreenRect{x0 < o.x0 ? x0 : o.x0, y0 < o.y0 ? y0 : o.y0, x1 > o.x1 ? x1 : o.x1, y1 > o.y1 ? y1 : o.y1};
  }
  bool operator==(const ScreenRect& o) const { return x0 == o.x0 && y0 == o.y0 && x1 == o.x1 && y1 == o.y1; }
  bool operator!=(const ScreenRect& o) const { return !(*this == o); }
};

// Glyphs and markers.
void drawUnitGlyph(BITMAP* bitmap, int id, int x, int y);
void drawWorld(BITMAP* bitmap, int offsetX, int offsetY);
// drawWorld with or without the selection markers; pictures of the world
// leave them out.
void drawWorldLayers(BITMAP* bitmap, int offsetX, int offsetY, bool markers);

// Magnifier. Its working bitmap is made once (initMagnifier) and reused; when
// it could not be made the magnifier draws nothing.
void initMagnifier(int factor);
void releaseMagnifier();
void drawMagnifier(BITMAP* bitmap, int centreX, int centreY, int destX, int destY, int factor);
// Whether drawMagnifier with this factor on a bitmap of this colour depth
// draws its output (its working bitmap is there and fits).
bool magnifierReady(int factor, int depth);

// Status panel: tolerance bar, population graph, status line, tooltip.
// drawStatusPanel is advanceGraph and the four parts in this order; each
// part's rectangle holds every pixel it draws.
extern int32_t graphTimer;
void drawStatusPanel(BITMAP* backBuffer, BITMAP* graphBitmap);
// The graph's scroll, in every fourth frame while running; true when the
// graph bitmap changed.
bool advanceGraph(BITMAP* graphBitmap);
// The same in two halves, for frames that are not drawn: takeGraphScroll
// counts the timer and keeps the scroll's sample (when there is a graph
// bitmap); drawGraphScrolls draws the scrolls kept since the last call, all
// in one, as advanceGraph would have drawn them one by one, and tells
// whether the graph bitmap changed.
void takeGraphScroll(bool graphExists);
bool drawGraphScrolls(BITMAP* graphBitmap);
void drawToleranceBar(BITMAP* bitmap);
ScreenRect toleranceBarRect();
void drawGraph(BITMAP* backBuffer, BITMAP* graphBitmap);
ScreenRect graphRect();
void drawStatusLine(BITMAP* bitmap);
ScreenRect statusLineRect();
// The tooltip box beside the mouse point (mx, my).
void drawTooltip(BITMAP* bitmap, int mx, int my);
ScreenRect tooltipRect(int mx, int my);

// Slot panel: drawSlotPanel is refreshSlotPanel (which re-reads the slot
// files every 50 frames) and then drawSlotRows.
extern bool slotFileFound[7];
void drawSlotPanel(BITMAP* bitmap, int x, int y, int step);
void refreshSlotPanel();
void drawSlotRows(BITMAP* bitmap, int x, int y, int step);
ScreenRect slotRowsRect(int x, int y, int step);

// Buttons and tooltips.
extern int32_t buttonCooldown;
extern char tooltipText[200];
// The tooltip of the button under the mouse, every call; a button fires, and
// the shared cooldown counts down, only in an input step (the frame loop's
// steps of wall time; every call is one by default), when a mouse button is
// down or was since the last step (stepMouseButtons).
int pollButtons(bool inputStep = true);

// Notices drawn straight onto the screen while a file is read or written.
// Returns what they cover (nothing without a screen), for the frame loop to
// send again (markScreenDamaged).
ScreenRect drawFileNotice(const char* text);
