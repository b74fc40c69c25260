// Unit glyphs, the cell layer and the selection markers, checked pixel by
// pixel on memory bitmaps.
#include <climits>

#include "ui_testing.h"

namespace {

constexpr uint32_t kBackground = 0x00123456;

class GlyphTest : public UiTest {};

// Sets the three colour genes without changing whether they are high.
Genome withColours(Genome g, int32_t r, int32_t gr, int32_t b) {
  g[2] = r;
  g[3] = gr;
  g[7] = b;
  return g;
}

TEST_F(GlyphTest, AllHighGenomeHasOnlyItsFirstPixelDark) {
  // 200, 210 and 220 are all above the colour genes' midpoint.
  placeUnit(0, 0, 0, withColours(genomeWhere([](int) { return true; }), 200, 210, 220));
  BITMAP* bmp = makeBitmap(20, 20, kBackground);
  drawUnitGlyph(bmp, 0, 10, 10);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      uint32_t expected = kBackground;
      if (x >= 7 && x <= 12 && y >= 7 && y <= 12) expected = (x == 7 && y == 7) ? rgb(160, 168, 176) : rgb(200, 210, 220);
      EXPECT_EQ(pixelAt(bmp, x, y), expected) << x << "," << y;
    }
}

TEST_F(GlyphTest, AlternatingGenesAreAllDarkAndLowGenesLeaveTheBackground) {
  // Even genes high: rows 0, 2 and 4 of every column. Gene 2 is high, 3 and 7 low.
  placeUnit(0, 0, 0, withColours(genomeWhere([](int k) { return k % 2 == 0; }), 200, 100, 150));
  BITMAP* bmp = makeBitmap(20, 20, kBackground);
  drawUnitGlyph(bmp, 0, 10, 10);
  for (int j = 0; j < 6; ++j)
    for (int r = 0; r < 6; ++r)
      EXPECT_EQ(pixelAt(bmp, 7 + j, 7 + r), r % 2 == 0 ? rgb(160, 80, 120) : kBackground) << j << "," << r;
}

TEST_F(GlyphTest, RunCarriesFromAColumnsBottomIntoTheNextColumnsTop) {
  placeUnit(0, 0, 0, withColours(genomeWhere([](int k) { return k == 5 || k == 6; }), 100, 120, 140));
  BITMAP* bmp = makeBitmap(20, 20, kBackground);
  drawUnitGlyph(bmp, 0, 10, 10);
  EXPECT_EQ(pixelAt(bmp, 7, 12), rgb(80, 96, 112));  // gene 5: column 0, bottom row, dark
  EXPECT_EQ(pixelAt(bmp, 8, 7), rgb(100, 120, 140));  // gene 6: column 1, top row, full
}

TEST_F(GlyphTest, ColoursComeFromGenes2_3And7) {
  // Genes 1 and 2 high: gene 1's pixel starts the run (dark), gene 2's is full.
  placeUnit(0, 0, 0, withColours(genomeWhere([](int k) { return k == 1 || k == 2; }), 255, 80, 130));
  BITMAP* bmp = makeBitmap(20, 20, kBackground);
  drawUnitGlyph(bmp, 0, 10, 10);
  EXPECT_EQ(pixelAt(bmp, 7, 8), rgb(204, 64, 104));
  EXPECT_EQ(pixelAt(bmp, 7, 9), rgb(255, 80, 130));
}

TEST_F(GlyphTest, NoHighGeneDrawsNothingAndBadIdsDrawNothing) {
  placeUnit(0, 0, 0, genomeWhere([](int) { return false; }));
  units.genome[999] = genomeWhere([](int) { return true; });
  for (Genome& g : slotGenomes) g = genomeWhere([](int) { return true; });
  BITMAP* bmp = makeBitmap(20, 20, kBackground);
  BITMAP* ref = makeBitmap(20, 20, kBackground);
  for (int id : {0, -1, 1007, INT_MIN, INT_MAX}) drawUnitGlyph(bmp, id, 10, 10);
  EXPECT_EQ(differingPixels(bmp, ref), 0);
  drawUnitGlyph(bmp, 999, 10, 10);  // the last Unit slot is valid, Alive or not
  EXPECT_EQ(differingPixels(bmp, ref), 36);
}

TEST_F(GlyphTest, SlotIdsDrawTheSlotGenomes) {
  const Genome g = withColours(genomeWhere([](int k) { return k % 3 != 1; }), 240, 90, 30);
  slotGenomes[6] = g;
  placeUnit(5, 0, 0, g);
  BITMAP* slot = makeBitmap(20, 20, kBackground);
  BITMAP* unit = makeBitmap(20, 20, kBackground);
  drawUnitGlyph(slot, 1006, 9, 11);
  drawUnitGlyph(unit, 5, 9, 11);
  EXPECT_EQ(differingPixels(slot, unit), 0);
  EXPECT_NE(pixelAt(slot, 6, 8), kBackground);
}

TEST_F(GlyphTest, GlyphsAreClippedToBitmapAndClipRectangle) {
  placeUnit(0, 0, 0, genomeWhere([](int) { return true; }));
  BITMAP* bmp = makeBitmap(10, 10, kBackground);
  drawUnitGlyph(bmp, 0, 0, 0);  // covers -3..2: only 0..2 is on the bitmap
  drawUnitGlyph(bmp, 0, 10, 10);  // covers 7..12
  int changed = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (pixelAt(bmp, x, y) != kBackground) {
        ++changed;
        EXPECT_TRUE((x <= 2 && y <= 2) || (x >= 7 && y >= 7)) << x << "," << y;
      }
  EXPECT_EQ(changed, 18);

  BITMAP* clipped = makeBitmap(10, 10, kBackground);
  set_clip_rect(clipped, 4, 4, 5, 5);
  drawUnitGlyph(clipped, 0, 5, 5);
  int inside = 0, outside = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (pixelAt(clipped, x, y) != kBackground) ++((x >= 4 && x <= 5 && y >= 4 && y <= 5) ? inside : outside);
  EXPECT_EQ(inside, 4);
  EXPECT_EQ(outside, 0);
}

TEST_F(GlyphTest, ExtremeGenesPositionsAndOffsetsAreDrawnSafely) {
  BITMAP* bmp = makeBitmap(300, 300, kBackground);
  editCellGrids().cells[cellIndex(100, 100)] = Live;
  for (int off : {INT_MAX, INT_MIN}) {
    drawWorld(bmp, off, 0);
    drawWorld(bmp, 0, off);
  }
  EXPECT_EQ(differingPixels(bmp, makeBitmap(300, 300, kBackground)), 0);
  clearField();

  Genome g{};
  for (int k = 0; k < kGeneCount; ++k) g[k] = k % 2 ? INT_MIN : INT_MAX;
  placeUnit(0, INT_MAX, INT_MIN, g);
  placeUnit(1, INT_MIN, INT_MAX, g);
  placeUnit(2, 100, 100, g);
  hoverSelection.ids[0] = 0;
  hoverSelection.ids[1] = 1;
  pickedSelection.ids[0] = 2;
  drawWorld(bmp, 0, 0);
  drawWorld(bmp, 1 << 30, 1 << 30);  // every position wraps far off the bitmap
  drawUnitGlyph(bmp, 0, INT_MAX, INT_MIN);
  drawUnitGlyph(bmp, 0, INT_MIN, INT_MAX);
  // Only Unit 2 at (100, 100) is on the bitmap: its glyph and two circles.
  int changed = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x)
      if (pixelAt(bmp, x, y) != kBackground) {
        ++changed;
        EXPECT_LE(std::abs(x - 100), 10);
        EXPECT_LE(std::abs(y - 100), 10);
      }
  EXPECT_GT(changed, 0);
}

class WorldTest : public UiTest {};

TEST_F(WorldTest, CellLayerDrawsEveryNonEmptyCellButTheOuterRing) {
  editCellGrids().cells[cellIndex(1, 1)] = Live;
  editCellGrids().cells[cellIndex(823, 523)] = Live;
  editCellGrids().cells[cellIndex(400, 200)] = Sprout;
  editCellGrids().cells[cellIndex(401, 200)] = Dormant;
  editCellGrids().cells[cellIndex(402, 200)] = 5;
  for (int x = 0; x < kWorldWidth; ++x) editCellGrids().cells[cellIndex(x, 0)] = editCellGrids().cells[cellIndex(x, 524)] = Live;
  for (int y = 0; y < kWorldHeight; ++y) editCellGrids().cells[cellIndex(0, y)] = editCellGrids().cells[cellIndex(824, y)] = Live;
  BITMAP* bmp = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  drawWorld(bmp, WorldOffsetX, WorldOffsetY);
  const uint32_t cell = rgb(50, 160, 160);
  EXPECT_EQ(pixelAt(bmp, 183, 44), cell);
  EXPECT_EQ(pixelAt(bmp, 1005, 566), cell);
  EXPECT_EQ(pixelAt(bmp, 582, 243), cell);
  EXPECT_EQ(pixelAt(bmp, 583, 243), cell);
  EXPECT_EQ(pixelAt(bmp, 584, 243), cell);
  int changed = 0;
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) changed += pixelAt(bmp, x, y) != kBackground;
  EXPECT_EQ(changed, 5);
}

// Fills the field and places well-spaced Units over empty cells, so that no
// pixel is written twice.
void populate(bool withCells, bool withUnits) {
  seedRandom(7);
  if (withCells)
    for (int i = 0; i < kCellCount; ++i) {
      const int32_t r = rawRandom() % 10;
      editCellGrids().cells[i] = r < 3 ? Live : r == 3 ? Dormant : Empty;
    }
  if (withUnits)
    for (int u = 0; u < 600; ++u) {
      Genome g;
      randomGenome(g);
      placeUnit(u, 5 + (u % 40) * 20, 5 + (u / 40) * 30, g);
    }
}

// The row writes of 32-bit memory bitmaps give the same pixels as putpixel:
// drawing in XOR mode onto black takes the putpixel path and, with every
// pixel written once, must end with the same picture.
void expectSameAsPutpixel(BITMAP* a, BITMAP* b, int offsetX, int offsetY) {
  drawWorld(a, offsetX, offsetY);
  drawing_mode(DRAW_MODE_XOR, nullptr, 0, 0);
  drawWorld(b, offsetX, offsetY);
  solid_mode();
  EXPECT_EQ(differingPixels(a, b), 0);
}

TEST_F(WorldTest, DirectWritesMatchPutpixelInsideAndAtTheEdges) {
  populate(true, false);
  expectSameAsPutpixel(makeBitmap(1024, 768), makeBitmap(1024, 768), 182, 43);
  expectSameAsPutpixel(makeBitmap(500, 300), makeBitmap(500, 300), -120, -40);
  BITMAP* a = makeBitmap(400, 400);
  BITMAP* b = makeBitmap(400, 400);
  set_clip_rect(a, 30, 40, 350, 260);
  set_clip_rect(b, 30, 40, 350, 260);
  expectSameAsPutpixel(a, b, 0, 0);

  clearField();
  populate(false, true);
  expectSameAsPutpixel(makeBitmap(1024, 768), makeBitmap(1024, 768), 182, 43);
  expectSameAsPutpixel(makeBitmap(300, 200), makeBitmap(300, 200), -7, -9);
}

TEST_F(WorldTest, UnitAtCellOriginCoversScreenPixels179To184By40To45) {
  placeUnit(0, 0, 0, genomeWhere([](int) { return true; }));
  BITMAP* bmp = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  drawWorld(bmp, WorldOffsetX, WorldOffsetY);
  int minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN, n = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 150; x < 250; ++x)
      if (pixelAt(bmp, x, y) != kBackground) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
        ++n;
      }
  EXPECT_EQ(n, 36);
  EXPECT_EQ(minX, 179);
  EXPECT_EQ(maxX, 184);
  EXPECT_EQ(minY, 40);
  EXPECT_EQ(maxY, 45);
}

TEST_F(WorldTest, FreeAndDeadSlotsDrawNothingEvenWhenSelected) {
  placeUnit(0, 100, 100, genomeWhere([](int) { return true; }));
  placeUnit(1, 200, 100, genomeWhere([](int) { return true; }));
  units.status[0] = Free;
  units.status[1] = Dead;
  hoverSelection.ids[0] = 0;
  pickedSelection.ids[0] = 1;
  BITMAP* bmp = makeBitmap(400, 300, kBackground);
  BITMAP* ref = makeBitmap(400, 300, kBackground);
  drawWorld(bmp, 0, 0);
  EXPECT_EQ(differingPixels(bmp, ref), 0);
}

// Units with no glyph pixels, so only their circles show.
class MarkerTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    for (int u = 0; u < 5; ++u) placeUnit(u, 40 + 50 * u, 40, genomeWhere([](int) { return false; }));
  }
  // The circles expected around Unit u.
  void expectCircles(BITMAP* ref, int u, uint32_t colour, bool big) {
    circle(ref, 40 + 50 * u, 40, 5, (int)colour);
    if (big) circle(ref, 40 + 50 * u, 40, 10, (int)colour);
  }
};

TEST_F(MarkerTest, ColoursAndRadiiFollowTheSelections) {
  // Unit 0: in both selections, primary of neither: red, radius 5 only.
  // Unit 1: picked primary, not hovered: white 5 and 10.
  // Unit 2: picked, hover primary: red 5 and 10.
  // Unit 3: hovered only: red 5.  Unit 4: in neither: nothing.
  pickedSelection.ids[0] = 1;
  pickedSelection.ids[5] = 0;
  pickedSelection.ids[9] = 2;
  hoverSelection.ids[0] = 2;
  hoverSelection.ids[1] = 0;
  hoverSelection.ids[2] = 3;
  BITMAP* bmp = makeBitmap(300, 80, kBackground);
  BITMAP* ref = makeBitmap(300, 80, kBackground);
  drawWorld(bmp, 0, 0);
  const uint32_t red = rgb(255, 0, 0), white = rgb(255, 255, 255);
  expectCircles(ref, 0, red, false);
  expectCircles(ref, 1, white, true);
  expectCircles(ref, 2, red, true);
  expectCircles(ref, 3, red, false);
  EXPECT_EQ(differingPixels(bmp, ref), 0);
  EXPECT_EQ(pixelAt(bmp, 45, 40), red);
  EXPECT_EQ(pixelAt(bmp, 100, 40), white);
  EXPECT_EQ(pixelAt(bmp, 150, 40), red);
}

TEST_F(MarkerTest, CirclesReachPastTheWorldAndLaterGlyphsPaintOverThem) {
  // Unit 0 sits at cell (0, 0); its circle of radius 10 reaches left of the
  // world area. Unit 1 stands 6 cells to the right with a full glyph that
  // covers the circle's rightmost pixel.
  placeUnit(0, 0, 0, genomeWhere([](int) { return false; }));
  placeUnit(1, 6, 0, withColours(genomeWhere([](int) { return true; }), 200, 200, 200));
  pickedSelection.ids[0] = 0;
  BITMAP* bmp = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  drawWorld(bmp, WorldOffsetX, WorldOffsetY);
  EXPECT_EQ(pixelAt(bmp, 172, 43), rgb(255, 255, 255));
  EXPECT_EQ(pixelAt(bmp, 187, 43), rgb(200, 200, 200));
}

}  // namespace
