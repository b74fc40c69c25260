// The status panel (tolerance bar, population graph, status line, tooltip)
// and the slot panel (markers, squares, glyphs, labels, slot file re-reads).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ui_testing.h"

namespace {

constexpr uint32_t kBackground = 0x00203040;

uint32_t bright() { return rgb(0, 255, 225); }
uint32_t pale() { return rgb(200, 255, 225); }
uint32_t mask() { return rgb(255, 0, 255); }

class StatusPanelTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    back = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
    graph = makeBitmap(659, 140, mask());
    foodDivisor = 0.5f;
  }
  // One frame of the panel on a fresh background.
  void drawFrame() {
    clear_to_color(back, (int)kBackground);
    drawStatusPanel(back, graph);
  }
  BITMAP* back = nullptr;
  BITMAP* graph = nullptr;
};

TEST_F(StatusPanelTest, ToleranceBarLength) {
  struct Case {
    float tolerance;
    int lastColumn;  // -1: no bar
  } cases[] = {{0.0f, -1}, {0.4f, -1}, {0.6f, 53}, {20.0f, 86}, {40.0f, 120}, {100.0f, 222}};
  for (const Case& c : cases) {
    tolerance = c.tolerance;
    drawFrame();
    for (int x = 45; x < 230; ++x)
      for (int y = 144; y <= 158; ++y) {
        uint32_t expected = kBackground;
        if (x >= 52 && x <= c.lastColumn && y >= 148 && y <= 154) expected = (y >= 150 && y <= 152) ? pale() : bright();
        ASSERT_EQ(pixelAt(back, x, y), expected) << "tolerance " << c.tolerance << " at " << x << "," << y;
      }
  }
}

// The newest graph column after one scroll with the given population.
TEST_F(StatusPanelTest, GraphSampleRows) {
  struct Case {
    int32_t living;
    int point;  // row of the sample point, may lie outside 0..139
  } cases[] = {{0, 140}, {400, 70}, {800, 0}, {805, 0}, {806, -1}, {811, -1}, {812, -2}, {-100, 157}};
  for (const Case& c : cases) {
    clear_to_color(graph, (int)mask());
    livingCount = c.living;
    graphTimer = 0;
    drawFrame();
    for (int y = 0; y < 140; ++y) {
      uint32_t expected = mask();
      if (y == c.point) expected = rgb(100, 255, 225);
      if (y == c.point - 1 || y == c.point + 1) expected = rgb(0, 150, 140);
      ASSERT_EQ(pixelAt(graph, 658, y), expected) << c.living << " Units, row " << y;
      ASSERT_EQ(pixelAt(back, 173 + 658, 602 + y), expected == mask() ? kBackground : expected);
    }
  }
}

TEST_F(StatusPanelTest, GraphScrollsEveryFourthRunningFrameAndWaitsWhilePaused) {
  // Frame f shows f * 8 Units, so each scroll's sample lands on its own row.
  auto sampleRow = [](int frame) { return (int)(140 - frame * 8 / 800.0 * 140); };
  auto newestIs = [&](int frame) { return pixelAt(graph, 658, sampleRow(frame)) == rgb(100, 255, 225); };
  std::string scrolled;
  for (int frame = 1; frame <= 24; ++frame) {
    paused = (frame >= 12 && frame <= 18) ? 1 : 0;
    livingCount = frame * 8;
    drawFrame();
    if (newestIs(frame)) scrolled += std::to_string(frame) + " ";
  }
  // From timer 1: frames 2, 6, 10; paused 12..18; the first running frame
  // after the pause (19) scrolls at once, then every fourth.
  EXPECT_EQ(scrolled, "2 6 10 19 23 ");
  // Each scroll moved the older samples one column to the left.
  EXPECT_EQ(pixelAt(graph, 657, sampleRow(19)), rgb(100, 255, 225));
  EXPECT_EQ(pixelAt(graph, 654, sampleRow(2)), rgb(100, 255, 225));
  EXPECT_EQ(graphTimer, 2);
}

TEST_F(StatusPanelTest, StatusLineShowsCountAndEvolutionLevel) {
  livingCount = 123;
  foodDivisor = 1.0f;  // level trunc(1.0 * 20 - 9) = 11
  graphTimer = 2;
  drawFrame();
  BITMAP* ref = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  textprintf_centre_ex(ref, font, 490, 747, (int)bright(), -1, "123 Units living at Evolution Level 11");
  EXPECT_EQ(differingPixels(back, ref), 0);
}

class TooltipTest : public StatusPanelTest {
 protected:
  void SetUp() override {
    StatusPanelTest::SetUp();
    graphTimer = 2;
    input.mouseX = 300;
    input.mouseY = 300;
  }
  // The tooltip box's outline with the text as set; everything else as a
  // frame without a tooltip.
  int boxPixels() {
    std::string text = tooltipText;
    tooltipText[0] = '\0';
    drawFrame();
    BITMAP* without = makeBitmap(kScreenWidth, kScreenHeight);
    blit(back, without, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    std::snprintf(tooltipText, sizeof tooltipText, "%s", text.c_str());
    drawFrame();
    return differingPixels(back, without);
  }
};

TEST_F(TooltipTest, TextsOfAtMostOneCharacterDrawNoBox) {
  EXPECT_EQ(boxPixels(), 0);
  std::strcpy(tooltipText, "A");
  EXPECT_EQ(boxPixels(), 0);
}

TEST_F(TooltipTest, BoxIsEightPixelsPerCharacterPlusTwo) {
  std::strcpy(tooltipText, "Toggle Fullscreen/Windowed-Mode (Only for Desktops higher than 1024x768)");
  ASSERT_EQ(std::strlen(tooltipText), 72u);
  EXPECT_EQ(boxPixels(), 578 * 9);  // 325..902 by 310..318, all redrawn on this background
  EXPECT_EQ(pixelAt(back, 324, 314), kBackground);
  EXPECT_EQ(pixelAt(back, 325, 314), bright());
  EXPECT_EQ(pixelAt(back, 902, 314), bright());
  EXPECT_EQ(pixelAt(back, 903, 314), kBackground);
  EXPECT_EQ(pixelAt(back, 600, 318), bright());
  EXPECT_EQ(pixelAt(back, 600, 319), kBackground);
  for (int y = 311; y <= 317; ++y)
    for (int x = 326; x <= 901; ++x) {
      const uint32_t p = pixelAt(back, x, y);
      ASSERT_TRUE(p == 0 || p == bright()) << x << "," << y;
    }
}

TEST_F(TooltipTest, TextIsPrintedAsPlainTextAtTheBoxTopLeft) {
  std::strcpy(tooltipText, "%d%s%n");
  drawFrame();
  BITMAP* ref = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  rectfill(ref, 325, 310, 300 + 8 * 6 + 26, 318, 0);
  rect(ref, 325, 310, 300 + 8 * 6 + 26, 318, (int)bright());
  textout_ex(ref, font, "%d%s%n", 326, 310, (int)bright(), -1);
  for (int y = 300; y < 330; ++y)
    for (int x = 300; x < 400; ++x) ASSERT_EQ(pixelAt(back, x, y), pixelAt(ref, x, y)) << x << "," << y;
}

class SlotPanelTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    back = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
    slotRefreshTimer = 10;  // no re-read unless a test asks for one
  }
  BITMAP* back = nullptr;
};

TEST_F(SlotPanelTest, ActiveSlotHasABrightDiscWithAPaleCentre) {
  activeSlot = 3;
  drawSlotPanel(back, 134, 632, 16);
  for (int i = 0; i < 7; ++i) {
    const int cy = 632 + 16 * i;
    const uint32_t ring = i == 3 ? bright() : rgb(0, 100, 90);
    const uint32_t centre = i == 3 ? pale() : ring;
    EXPECT_EQ(pixelAt(back, 38, cy), centre) << i;
    EXPECT_EQ(pixelAt(back, 40, cy), centre) << i;
    EXPECT_EQ(pixelAt(back, 41, cy), ring) << i;
    EXPECT_EQ(pixelAt(back, 42, cy), ring) << i;
    EXPECT_EQ(pixelAt(back, 38, cy - 4), ring) << i;
    EXPECT_EQ(pixelAt(back, 43, cy), kBackground) << i;
    EXPECT_EQ(pixelAt(back, 38, cy + 5), kBackground) << i;
  }
}

TEST_F(SlotPanelTest, SquaresAreBlackSevenBySevenWithoutFoundFiles) {
  for (Genome& g : slotGenomes) g = genomeWhere([](int) { return true; });
  drawSlotPanel(back, 134, 632, 16);
  for (int i = 0; i < 7; ++i)
    for (int y = 627 + 16 * i; y <= 637 + 16 * i; ++y)
      for (int x = 129; x <= 139; ++x) {
        const bool inSquare = x >= 131 && x <= 137 && y >= 629 + 16 * i && y <= 635 + 16 * i;
        ASSERT_EQ(pixelAt(back, x, y), inSquare ? 0u : kBackground) << i << ": " << x << "," << y;
      }
}

TEST_F(SlotPanelTest, FoundSlotsShowTheirGlyphInsideTheSquare) {
  slotFileFound[2] = true;
  slotGenomes[2] = genomeWhere([](int) { return true; });
  drawSlotPanel(back, 134, 632, 16);
  BITMAP* glyph = makeBitmap(kScreenWidth, kScreenHeight, 0);
  drawUnitGlyph(glyph, 1002, 134, 664);
  for (int y = 661; y <= 667; ++y)
    for (int x = 131; x <= 137; ++x) {
      const bool inGlyph = x <= 136 && y <= 666;
      ASSERT_EQ(pixelAt(back, x, y), inGlyph ? pixelAt(glyph, x, y) : 0u) << x << "," << y;
      if (inGlyph) {
        ASSERT_NE(pixelAt(back, x, y), 0u);
      }
    }
}

TEST_F(SlotPanelTest, LabelsAreCentredOnX87FromRow628) {
  drawSlotPanel(back, 134, 632, 16);
  BITMAP* ref = makeBitmap(kScreenWidth, kScreenHeight, kBackground);
  for (int i = 0; i < 7; ++i) textprintf_centre_ex(ref, font, 87, 628 + 16 * i, (int)bright(), -1, "Slot %d", i);
  for (int y = 620; y < 740; ++y)
    for (int x = 50; x < 125; ++x) ASSERT_EQ(pixelAt(back, x, y), pixelAt(ref, x, y)) << x << "," << y;
}

TEST_F(SlotPanelTest, OtherPanelPointsMoveSquaresAndMarkersButNotLabels) {
  drawSlotPanel(back, 300, 100, 20);
  EXPECT_EQ(pixelAt(back, 297, 137), 0u);  // slot 2's square at (300, 140)
  EXPECT_EQ(pixelAt(back, 204, 100), pale());
  int labelInk = 0;  // "Slot 6" stays centred on x 87 from row 628 + 6 * 20
  for (int y = 748; y < 756; ++y)
    for (int x = 63; x < 111; ++x) labelInk += pixelAt(back, x, y) == bright();
  EXPECT_GT(labelInk, 20);
  drawSlotPanel(back, INT32_MAX, INT32_MIN, INT32_MAX);
  drawSlotPanel(back, INT32_MIN, INT32_MAX, INT32_MIN);
}

// Slot files in a directory of their own, read by the panel's re-reads.
class SlotRefreshTest : public SlotPanelTest {
 protected:
  void SetUp() override {
    SlotPanelTest::SetUp();
    char pattern[] = "/tmp/tarn-slots-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ASSERT_NE(getcwd(previousDir, sizeof previousDir), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    slotRefreshTimer = 0;
  }
  void TearDown() override {
    ASSERT_EQ(chdir(previousDir), 0);
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    SlotPanelTest::TearDown();
  }
  static void writeSlot(int slot, const Genome& g) {
    char name[32];
    std::snprintf(name, sizeof name, "sample%d.dna", slot);
    FILE* f = std::fopen(name, "w");
    for (int32_t v : g) std::fprintf(f, "%d\n", v);
    std::fclose(f);
  }
  // Whether slot 4's square shows any glyph pixel after this frame.
  bool slot4ShowsGlyph() {
    clear_to_color(back, (int)kBackground);
    drawSlotPanel(back, 134, 632, 16);
    for (int y = 693; y <= 699; ++y)
      for (int x = 131; x <= 137; ++x)
        if (pixelAt(back, x, y) != 0) return true;
    return false;
  }
  std::string dir;
  char previousDir[4096];
};

TEST_F(SlotRefreshTest, FilesAreReReadInFrame1AndEvery50thFrameAfter) {
  const Genome first = genomeWhere([](int) { return true; });
  writeSlot(4, first);
  EXPECT_TRUE(slot4ShowsGlyph());  // frame 1 reads it
  EXPECT_EQ(slotGenomes[4], first);
  EXPECT_TRUE(slotFileFound[4]);
  EXPECT_FALSE(slotFileFound[3]);
  EXPECT_EQ(slotRefreshTimer, 49);

  writeSlot(4, genomeWhere([](int) { return false; }));
  for (int frame = 2; frame <= 50; ++frame) ASSERT_TRUE(slot4ShowsGlyph()) << frame;
  EXPECT_FALSE(slot4ShowsGlyph());  // frame 51 reads the new, empty glyph
  EXPECT_EQ(slotGenomes[4], genomeWhere([](int) { return false; }));

  std::remove("sample4.dna");
  for (int frame = 52; frame <= 101; ++frame) slot4ShowsGlyph();
  EXPECT_FALSE(slotFileFound[4]);  // frame 101 found it missing
  EXPECT_EQ(slotGenomes[4], genomeWhere([](int) { return false; }));
}

TEST(FileNotice, IsSkippedWithoutAScreen) {
  startAllegroWithoutDisplay();
  ASSERT_EQ(screen, nullptr);
  drawFileNotice("Saving...");
  drawFileNotice(nullptr);
}

}  // namespace
