// The status panel: the Similarity-Tolerance bar, the scrolling population
// graph, the status line and the tooltip box.
#include <allegro.h>

#include <cstring>

#include "genome/arith.h"
#include "ui/draw_util.h"
#include "ui/input.h"
#include "ui/ui.h"
#include "units/units.h"

int32_t graphTimer = 1;

namespace {

constexpr int kGraphWidth = 659;
constexpr int kGraphHeight = 140;
constexpr int kGraphX = 173, kGraphY = 602;
constexpr int kNewestColumn = kGraphWidth - 1;

// The bar is length + 1 pixels wide, from x 52; length 68 for tolerance 40.
void drawToleranceBar(BITMAP* bitmap) {
  const int32_t length = truncToInt((double)tolerance / 40.0 * 68.0);
  if (length == 0) return;
  int64_t end = 52 + (int64_t)length;
  // Past these the bar is clipped to the same pixels.
  if (end > ui_detail::kCoordLimit) end = ui_detail::kCoordLimit;
  if (end < -ui_detail::kCoordLimit) end = -ui_detail::kCoordLimit;
  rectfill(bitmap, 52, 148, (int)end, 154, makecol(0, 255, 225));
  rectfill(bitmap, 52, 150, (int)end, 152, makecol(200, 255, 225));
}

// One scroll: everything moves a column to the left and the newest column
// gets the sample point with a darker pixel above and below it.
void scrollGraph(BITMAP* graph, int32_t sampleRow) {
  blit(graph, graph, 1, 0, 0, 0, kGraphWidth - 1, kGraphHeight);
  line(graph, kNewestColumn, 0, kNewestColumn, 741, makecol(255, 0, 255));
  const int edge = makecol(0, 150, 140);
  putpixel(graph, kNewestColumn, sampleRow, makecol(100, 255, 225));
  putpixel(graph, kNewestColumn, sampleRow - 1, edge);
  putpixel(graph, kNewestColumn, sampleRow + 1, edge);
}

void drawTooltip(BITMAP* bitmap) {
  const size_t n = strnlen(tooltipText, sizeof tooltipText);
  if (n <= 1) return;
  const int64_t mx = mouseX(), my = mouseY();
  const int64_t x1 = mx + 25, y1 = my + 10, x2 = mx + 8 * (int64_t)n + 26, y2 = my + 18;
  if (!ui_detail::saneCoord(x1) || !ui_detail::saneCoord(x2) || !ui_detail::saneCoord(y1) ||
      !ui_detail::saneCoord(y2))
    return;
  const int colour = makecol(0, 255, 225);
  rectfill(bitmap, (int)x1, (int)y1, (int)x2, (int)y2, 0);
  rect(bitmap, (int)x1, (int)y1, (int)x2, (int)y2, colour);
  char text[sizeof tooltipText + 1];
  std::memcpy(text, tooltipText, n);
  text[n] = '\0';
  textprintf_ex(bitmap, ui_detail::textFont(), (int)mx + 26, (int)my + 10, colour, -1, "%s", text);
}

}  // namespace

void drawStatusPanel(BITMAP* backBuffer, BITMAP* graphBitmap) {
  if (!backBuffer) return;
  drawToleranceBar(backBuffer);

  // 0 Units give row 140 (below the graph), 800 give row 0.
  const int32_t sampleRow = truncToInt(140.0 - (double)livingCount / 800.0 * 140.0);
  if (paused == 0 && graphTimer == 0) {
    if (graphBitmap) scrollGraph(graphBitmap, sampleRow);
    graphTimer = 4;
  }
  if (graphTimer > 0) graphTimer -= 1;
  if (graphTimer < 0) graphTimer = 0;

  if (graphBitmap && bitmap_color_depth(graphBitmap) == bitmap_color_depth(backBuffer))
    masked_blit(graphBitmap, backBuffer, 0, 0, kGraphX, kGraphY, kGraphWidth, kGraphHeight);

  textprintf_centre_ex(backBuffer, ui_detail::textFont(), 490, 747, makecol(0, 255, 225), -1,
                       "%d Units living at Evolution Level %d", (int)livingCount, (int)evolutionLevel());

  drawTooltip(backBuffer);
}
