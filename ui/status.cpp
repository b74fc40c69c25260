// The status panel: the Similarity-Tolerance bar, the scrolling population
// graph, the status line and the tooltip box.
#include <allegro.h>

#include <cstdio>
#include <cstring>

#include "genome/arith.h"
#include "ui/draw_util.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/params.h"
#include "units/units.h"

int32_t graphTimer = 1;

namespace {

constexpr int kNewestColumn = kGraphWidth - 1;

// The bar is length + 1 pixels wide; length kToleranceBarLength for
// tolerance 40.
int32_t toleranceBarLength() { return truncToInt((double)tolerance / 40.0 * (double)kToleranceBarLength); }

// Scrolls taken by advanceGraph and not yet drawn on the graph bitmap: the
// sample row of each, oldest first (only the newest kGraphWidth can still
// be seen).
int32_t pendingRows[kGraphWidth];
int pendingCount = 0, pendingFirst = 0;

// The pending scrolls in one: everything moves a column to the left for
// each, and each one's column gets its sample point with a darker pixel
// above and below it, as the scrolls one by one would leave it.
void drawPendingScrolls(BITMAP* graph) {
  const int n = pendingCount;
  if (n < kGraphWidth) blit(graph, graph, n, 0, 0, 0, kGraphWidth - n, kGraphHeight);
  const int edge = makecol(0, 150, 140), point = makecol(100, 255, 225), clear = makecol(255, 0, 255);
  for (int i = 0; i < n; ++i) {
    const int column = kNewestColumn - (n - 1 - i);
    const int32_t row = pendingRows[(pendingFirst + i) % kGraphWidth];
    line(graph, column, 0, column, kGraphHeight - 1, clear);
    putpixel(graph, column, row, point);
    putpixel(graph, column, row - 1, edge);
    putpixel(graph, column, row + 1, edge);
  }
  pendingCount = pendingFirst = 0;
}

// The tooltip box's corners, or false when there is no box or it lies
// wholly outside any bitmap.
bool tooltipCorners(int mx, int my, int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2) {
  const size_t n = strnlen(tooltipText, sizeof tooltipText);
  if (n <= 1) return false;
  x1 = (int64_t)mx + 25, y1 = (int64_t)my + 10, x2 = (int64_t)mx + 8 * (int64_t)n + 26, y2 = (int64_t)my + 18;
  return ui_detail::saneCoord(x1) && ui_detail::saneCoord(x2) && ui_detail::saneCoord(y1) &&
         ui_detail::saneCoord(y2);
}

void statusLineText(char* text, size_t size) {
  std::snprintf(text, size, "%d Units living at Evolution Level %d", (int)simulation.livingCount, (int)evolutionLevel());
}

}  // namespace

void drawToleranceBar(BITMAP* bitmap) {
  const int32_t length = toleranceBarLength();
  if (length == 0) return;
  const LayoutRect& bar = kToleranceBar;
  int64_t end = bar.x1 + (int64_t)length;
  // Past these the bar is clipped to the same pixels.
  if (end > ui_detail::kCoordLimit) end = ui_detail::kCoordLimit;
  if (end < -ui_detail::kCoordLimit) end = -ui_detail::kCoordLimit;
  rectfill(bitmap, bar.x1, bar.y1, (int)end, bar.y2, makecol(0, 255, 225));
  rectfill(bitmap, bar.x1, kToleranceCoreY1, (int)end, kToleranceCoreY2, makecol(200, 255, 225));
}

ScreenRect toleranceBarRect() {
  const int32_t length = toleranceBarLength();
  if (length <= 0) return ScreenRect{};
  const LayoutRect& bar = kToleranceBar;
  return ScreenRect::clipped(bar.x1, bar.y1, bar.x1 + 1 + (int64_t)length, bar.y2 + 1);
}

bool advanceGraph(BITMAP* graphBitmap) {
  takeGraphScroll(graphBitmap != nullptr);
  return drawGraphScrolls(graphBitmap);
}

void takeGraphScroll(bool graphExists) {
  // 0 Units give row kGraphHeight (below the graph), the cull threshold row 0.
  const int32_t sampleRow =
      truncToInt((double)kGraphHeight - (double)simulation.livingCount / (double)rules.cullAt * (double)kGraphHeight);
  if (paused == 0 && graphTimer == 0) {
    if (graphExists) {
      if (pendingCount == kGraphWidth) pendingFirst = (pendingFirst + 1) % kGraphWidth;
      else ++pendingCount;
      pendingRows[(pendingFirst + pendingCount - 1) % kGraphWidth] = sampleRow;
    }
    graphTimer = 4;
  }
  if (graphTimer > 0) graphTimer -= 1;
  if (graphTimer < 0) graphTimer = 0;
}

bool drawGraphScrolls(BITMAP* graphBitmap) {
  const bool any = graphBitmap && pendingCount > 0;
  if (any) drawPendingScrolls(graphBitmap);
  pendingCount = pendingFirst = 0;
  return any;
}

void drawGraph(BITMAP* backBuffer, BITMAP* graphBitmap) {
  if (graphBitmap && bitmap_color_depth(graphBitmap) == bitmap_color_depth(backBuffer))
    masked_blit(graphBitmap, backBuffer, 0, 0, kGraphX, kGraphY, kGraphWidth, kGraphHeight);
}

ScreenRect graphRect() { return ScreenRect::of(kGraphArea); }

void drawStatusLine(BITMAP* bitmap) {
  char text[96];
  statusLineText(text, sizeof text);
  textprintf_centre_ex(bitmap, ui_detail::textFont(), kStatusLineX, kStatusLineY, makecol(0, 255, 225), -1, "%s", text);
}

ScreenRect statusLineRect() {
  char text[96];
  statusLineText(text, sizeof text);
  return ui_detail::centredTextRect(kStatusLineX, kStatusLineY, text);
}

void drawTooltip(BITMAP* bitmap, int mx, int my) {
  int64_t x1, y1, x2, y2;
  if (!tooltipCorners(mx, my, x1, y1, x2, y2)) return;
  const size_t n = strnlen(tooltipText, sizeof tooltipText);
  const int colour = makecol(0, 255, 225);
  rectfill(bitmap, (int)x1, (int)y1, (int)x2, (int)y2, 0);
  rect(bitmap, (int)x1, (int)y1, (int)x2, (int)y2, colour);
  char text[sizeof tooltipText + 1];
  std::memcpy(text, tooltipText, n);
  text[n] = '\0';
  textprintf_ex(bitmap, ui_detail::textFont(), mx + 26, my + 10, colour, -1, "%s", text);
}

ScreenRect tooltipRect(int mx, int my) {
  int64_t x1, y1, x2, y2;
  if (!tooltipCorners(mx, my, x1, y1, x2, y2)) return ScreenRect{};
  char text[sizeof tooltipText + 1];
  const size_t n = strnlen(tooltipText, sizeof tooltipText);
  std::memcpy(text, tooltipText, n);
  text[n] = '\0';
  return ScreenRect::clipped(x1, y1, x2 + 1, y2 + 1).unite(ui_detail::textRect(x1 + 1, y1, text));
}

void drawStatusPanel(BITMAP* backBuffer, BITMAP* graphBitmap) {
  if (!backBuffer) return;
  drawToleranceBar(backBuffer);
  advanceGraph(graphBitmap);
  drawGraph(backBuffer, graphBitmap);
  drawStatusLine(backBuffer);
  drawTooltip(backBuffer, mouseX(), mouseY());
}
