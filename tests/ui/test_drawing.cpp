// Drawing on memory bitmaps, pixel by pixel where a rule needs to be seen:
// the glyph's run rule and colours, the markers, the cell layer, the
// magnifier's edges, the status and slot panels; and the buttons against the
// faces the artwork draws. Whole composed frames are pinned in test_frame.cpp.
#include <cstring>
#include <string>
#include <tuple>

#include "app/app.h"
#include "tests/support.h"
#include "tools/artwork.h"

namespace {

using std::tuple;
constexpr uint32_t kPaper = 0x00123456;
class Drawing : public DrawingTest {};

}  // namespace

TEST_F(Drawing, GlyphRunRuleAndColours) {
  // Gene k is the pixel of column k / 6, row k % 6 around the centre: 'D'
  // dark (the first of a vertical run, 0.8 of the colour), 'F' full, '.'
  // untouched. The run carries from a column's bottom to the next one's top.
  struct Case { const char* what; bool (*high)(int); int r, g, b; uint32_t dark; const char* pixels; } cases[] = {
      {"all high", [](int) { return true; }, 200, 210, 220, rgb(160, 168, 176),
       "DFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
      {"alternating", [](int k) { return k % 2 == 0; }, 200, 100, 150, rgb(160, 80, 120),
       "D.D.D.D.D.D.D.D.D.D.D.D.D.D.D.D.D.D."},
      {"across columns", [](int k) { return k == 5 || k == 6; }, 100, 120, 140, rgb(80, 96, 112),
       ".....DF............................."},
      {"genes 2, 3, 7", [](int k) { return k == 1 || k == 2; }, 255, 80, 130, rgb(204, 64, 104),
       ".DF................................."},
      {"none high", [](int) { return false; }, 100, 100, 100, 0, "...................................."},
  };
  for (const Case& c : cases) {
    Genome g = genomeWhere(c.high);
    g[2] = c.r, g[3] = c.g, g[7] = c.b;  // without changing which genes are high
    placeUnit(0, 0, 0, g);
    BITMAP* bmp = makeBitmap(20, 20, kPaper);
    drawUnitGlyph(bmp, 0, 10, 10);
    int drawn = 0, changed = 0;
    for (int k = 0; k < kGeneCount; ++k) {
      const char p = c.pixels[k];
      EXPECT_EQ(pixelAt(bmp, 7 + k / 6, 7 + k % 6), p == 'D' ? c.dark : p == 'F' ? rgb(c.r, c.g, c.b) : kPaper)
          << c.what << ", gene " << k;
      drawn += p != '.';
    }
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) changed += pixelAt(bmp, x, y) != kPaper;
    EXPECT_EQ(changed, drawn) << c.what << ": nothing outside the 6 x 6 square";
  }
  // Slot ids 1000 to 1006 draw the slot genomes; other ids draw nothing.
  slotGenomes[0] = slotGenomes[6] = units.genome[5] = genomeWhere([](int k) { return k % 3 != 1; });
  BITMAP* slot = makeBitmap(20, 20, kPaper);
  BITMAP* unit = makeBitmap(20, 20, kPaper);
  for (int id : {-1, 1007}) drawUnitGlyph(slot, id, 9, 11);
  EXPECT_EQ(bitmapDigest(slot), bitmapDigest(makeBitmap(20, 20, kPaper)));
  drawUnitGlyph(unit, 5, 9, 11);
  for (int id : {1000, 1006}) {
    drawUnitGlyph(slot, id, 9, 11);
    EXPECT_EQ(bitmapDigest(slot), bitmapDigest(unit)) << id;
  }
}

TEST_F(Drawing, WorldCellsUnitsAndMarkers) {
  // Cells: one pixel for every state but Empty, none on the outer ring. A
  // Unit at cell (0, 0) covers screen pixels 179 to 184 by 40 to 45.
  for (auto [x, y, s] : {tuple{1, 10, Live}, {823, 523, Live}, {400, 200, Sprout}, {401, 200, Dormant}})
    setCell(x, y, s);
  for (int x = 0; x < kWorldWidth; ++x) setCell(x, 0, Live), setCell(x, 524, Live);
  placeUnit(0, 0, 0, genomeWhere([](int) { return true; }));
  BITMAP* bmp = makeBitmap(kScreenWidth, kScreenHeight, kPaper);
  drawWorld(bmp, WorldOffsetX, WorldOffsetY);
  int cells = 0, glyph = 0;
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) {
      cells += pixelAt(bmp, x, y) == rgb(50, 160, 160);
      glyph += pixelAt(bmp, x, y) != kPaper && x >= 179 && x <= 184 && y >= 40 && y <= 45;
    }
  EXPECT_EQ(tuple(cells, glyph), tuple(4, 36));
  // Markers: in both selections red 5; the picked primary not hovered white
  // 5 and 10; picked and hover primary red 5 and 10; hovered only red 5;
  // a Dead Unit nothing, even when selected. These genomes draw no pixel.
  freshWorld();
  for (int u = 0; u < 6; ++u) placeUnit(u, 40 + 50 * u, 40, genomeWhere([](int) { return false; }));
  units.status[5] = Dead;
  pickedSelection.ids[0] = 1, pickedSelection.ids[5] = 0, pickedSelection.ids[9] = 2, pickedSelection.ids[7] = 5;
  hoverSelection.ids[0] = 2, hoverSelection.ids[1] = 0, hoverSelection.ids[2] = 3;
  bmp = makeBitmap(330, 80, kPaper);
  BITMAP* ref = makeBitmap(330, 80, kPaper);
  drawWorld(bmp, 0, 0);
  const int red = (int)rgb(255, 0, 0), white = (int)rgb(255, 255, 255);
  for (auto [u, colour, big] : {tuple{0, red, false}, {1, white, true}, {2, red, true}, {3, red, false}}) {
    circle(ref, 40 + 50 * u, 40, 5, colour);
    if (big) circle(ref, 40 + 50 * u, 40, 10, colour);
  }
  EXPECT_EQ(bitmapDigest(bmp), bitmapDigest(ref));
}

TEST_F(Drawing, CellsAreClippedToTheBitmapAndItsClipRectangle) {
  // Live cells 50..149 by 30..109, drawn with the field's (50, 30) at the
  // bitmap's corner: every pixel of the bitmap or its clip rectangle is set,
  // and none outside the clip rectangle.
  for (int x = 50; x < 150; ++x)
    for (int y = 30; y < 110; ++y) setCell(x, y, Live);
  for (auto [w, h, clip] : {tuple{100, 80, false}, {1, 1, false}, {100, 80, true}}) {
    BITMAP* bmp = makeBitmap(w, h, kPaper);
    if (clip) set_clip_rect(bmp, 10, 20, 59, 49);
    drawWorld(bmp, -50, -30);
    int set = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) set += pixelAt(bmp, x, y) == rgb(50, 160, 160);
    EXPECT_EQ(set, clip ? 50 * 30 : w * h) << w << " x " << h;
  }
}

TEST_F(Drawing, MagnifierEnlargesAndBlackensBeyondTheScreen) {
  // Every screen pixel a colour of its own. Only screen pixels 1..1023 by
  // 1..767 are read; anything else comes out black.
  auto pattern = [](int x, int y) { return (int)(0x01000000u | (uint32_t)(x * 768 + y + 1)); };
  BITMAP* original = makeBitmap(kScreenWidth, kScreenHeight);
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) putpixel(original, x, y, pattern(x, y));
  BITMAP* screenBitmap = makeBitmap(kScreenWidth, kScreenHeight);
  initMagnifier(kMagnifierFactor);
  constexpr int mx = kMagnifierX, my = kMagnifierY, mf = kMagnifierFactor;
  for (auto [cx, cy, destX, destY, f] : {tuple{500, 400, mx, my, mf}, {0, 0, mx, my, mf}, {1023, 767, mx, my, mf},
                                         {900, 650, mx, my, mf},  // the source overlaps the output
                                         {400, 300, -100, 700, 3}, {300, 300, 10, 20, 2}}) {
    blit(original, screenBitmap, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    drawMagnifier(screenBitmap, cx, cy, destX, destY, f);
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) {
        int want = getpixel(original, x, y);
        if (x >= destX && x < destX + 50 * f && y >= destY && y < destY + 50 * f) {
          const int sx = cx - 25 + (x - destX) / f, sy = cy - 25 + (y - destY) / f;
          want = sx > 0 && sx < 1024 && sy > 0 && sy < 768 ? pattern(sx, sy) : 0;
        }
        ASSERT_EQ(getpixel(screenBitmap, x, y), want) << "centre " << cx << "," << cy << " at " << x << "," << y;
      }
    // By hand: from (0, 0) the left 78 output columns are black, from
    // (1023, 767) the right 72.
    auto two = [&](int x1, int y1, int x2, int y2) {
      return tuple(getpixel(screenBitmap, x1, y1), getpixel(screenBitmap, x2, y2));
    };
    if (cx == 0) { EXPECT_EQ(two(mx + 77, my + 101, mx + 78, my + 78), tuple(0, pattern(1, 1))); }
    if (cx == 1023) { EXPECT_EQ(two(mx + 77, my + 77, mx + 78, my + 10), tuple(pattern(1023, 767), 0)); }
  }
  // Other depths give the same picture; without a working bitmap, nothing.
  BITMAP* deep = create_bitmap_ex(16, 200, 200);
  bitmaps.push_back(deep);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) putpixel(deep, x, y, (x * 200 + y) & 0xffff);
  drawMagnifier(deep, 40, 30, 60, 50, 2);
  EXPECT_EQ(getpixel(deep, 60 + 99, 50 + 99), (64 * 200 + 54) & 0xffff);
  drawMagnifier(deep, 0, 0, 60, 50, 2);
  EXPECT_EQ(tuple(getpixel(deep, 60, 50), getpixel(deep, 159, 149)), tuple(0, (24 * 200 + 24) & 0xffff));
  releaseMagnifier();
  drawMagnifier(original, 500, 400, 0, 0, 3);
  EXPECT_EQ(getpixel(original, 0, 0), pattern(0, 0));
  initMagnifier(kMagnifierFactor);
}

TEST_F(Drawing, StatusPanel) {
  BITMAP* back = makeBitmap(kScreenWidth, kScreenHeight, kPaper);
  BITMAP* graph = makeBitmap(kGraphWidth, kGraphHeight, rgb(255, 0, 255));
  const uint32_t bright = rgb(0, 255, 225), pale = rgb(200, 255, 225), sample = rgb(100, 255, 225);
  // The tolerance bar: length trunc(t / 40 * 68), length + 1 pixels wide
  // (none for length 0).
  const LayoutRect& bar = kToleranceBar;
  for (auto [t, pixels] : {tuple{0.4f, 0}, {0.6f, 2}, {40.0f, 69}}) {
    const int last = bar.x1 + pixels - 1;
    tolerance = t;
    clear_to_color(back, (int)kPaper);
    drawStatusPanel(back, graph);
    for (int x = bar.x1 - 2; x < bar.x2 + 5; ++x)
      for (int y = bar.y1 - 2; y <= bar.y2 + 2; ++y) {
        const bool in = x >= bar.x1 && x <= last && y >= bar.y1 && y <= bar.y2;
        const bool core = y >= kToleranceCoreY1 && y <= kToleranceCoreY2;
        ASSERT_EQ(pixelAt(back, x, y), !in ? kPaper : core ? pale : bright) << t << ": " << x << "," << y;
      }
    // What the composer sends for it: those pixels, nothing for none.
    const ScreenRect drawn = toleranceBarRect();
    EXPECT_TRUE(pixels ? drawn == (ScreenRect{bar.x1, bar.y1, last + 1, bar.y2 + 1}) : drawn.empty()) << t;
  }
  // The graph's newest column: the sample on row 140 - n / 800 x 140, a
  // darker pixel above and below it, whatever of them lies in the bitmap.
  for (auto [living, row] : {tuple{0, 140}, {400, 70}, {805, 0}, {806, -1}, {812, -2}}) {
    simulation.livingCount = living, graphTimer = 0;
    drawStatusPanel(back, graph);
    for (int y = 0; y < kGraphHeight; ++y)
      ASSERT_EQ(pixelAt(graph, kGraphWidth - 1, y), y == row ? sample : abs(y - row) == 1 ? rgb(0, 150, 140) : rgb(255, 0, 255))
          << living << " Units, row " << y;
  }
  // It scrolls every fourth running frame, waits while paused and scrolls
  // at once in the first running frame after a pause.
  std::string scrolls;
  graphTimer = 1;
  for (int frame = 1; frame <= 24; ++frame) {
    paused = frame >= 12 && frame <= 18, simulation.livingCount = frame * 8;
    drawStatusPanel(back, graph);
    if (pixelAt(graph, kGraphWidth - 1, (int)(140 - frame * 8 / 800.0 * 140)) == sample) scrolls += std::to_string(frame) + " ";
  }
  EXPECT_EQ(scrolls, "2 6 10 19 23 ");
  // The status line; the tooltip at the pointer: none for one character, a
  // box 8 pixels a character plus 2 wide (578 for 72), the text as it is.
  simulation.livingCount = 123, simulation.foodDivisor = 1.0f, paused = 1, tolerance = 0.0f;
  point(300, 300);
  BITMAP* ref = makeBitmap(kScreenWidth, kScreenHeight);
  for (auto [text, right] : {tuple{"A", 0}, {"Go", 342}, {"%d%s%n", 374},
                             {"Toggle Fullscreen/Windowed-Mode (Only for Desktops higher than 1024x768)", 902}}) {
    std::strcpy(tooltipText, text);
    clear_to_color(back, (int)kPaper);
    drawStatusPanel(back, makeBitmap(kGraphWidth, kGraphHeight, rgb(255, 0, 255)));
    clear_to_color(ref, (int)kPaper);
    textprintf_centre_ex(ref, font, kStatusLineX, kStatusLineY, (int)bright, -1, "123 Units living at Evolution Level 11");
    if (right) rectfill(ref, 325, 310, right, 318, 0), rect(ref, 325, 310, right, 318, (int)bright);
    if (right) textout_ex(ref, font, text, 326, 310, (int)bright, -1);
    EXPECT_EQ(bitmapDigest(back), bitmapDigest(ref)) << text;
  }
}

TEST_F(Drawing, SlotPanelAndItsReReads) {
  WorkFolder folder;
  BITMAP* back = makeBitmap(kScreenWidth, kScreenHeight, kPaper);
  activeSlot = 3;
  std::string genes;
  for (int32_t v : genomeWhere([](int) { return true; })) genes += std::to_string(v) + "\n";
  writeFile("sample4.dna", genes);
  const int x = kSlotRowsX, y = kSlotRowsY, step = kSlotRowsStep, markerX = x - kSlotMarkerDX;
  drawSlotPanel(back, x, y, step);  // the first frame re-reads
  BITMAP* ref = makeBitmap(kScreenWidth, kScreenHeight, kPaper);
  for (int i = 0; i < 7; ++i) {
    const int cy = y + step * i;
    rectfill(ref, x - 3, cy - 3, x + 3, cy + 3, 0);
    circlefill(ref, markerX, cy, 4, (int)(i == 3 ? rgb(0, 255, 225) : rgb(0, 100, 90)));
    if (i == 3) circlefill(ref, markerX, cy, 2, (int)rgb(200, 255, 225));
    if (i == 4) drawUnitGlyph(ref, 1004, x, cy);
    textprintf_centre_ex(ref, font, kSlotLabelX, cy - kSlotLabelDY, (int)rgb(0, 255, 225), -1, "Slot %d", i);
  }
  EXPECT_EQ(bitmapDigest(back), bitmapDigest(ref));
  // Re-read every 50 frames: a file removed shows its last glyph until then.
  std::remove("sample4.dna");
  for (int frame = 2; frame <= 51; ++frame) {
    drawSlotPanel(back, x, y, step);
    ASSERT_EQ(slotFileFound[4], frame < 51) << frame;
  }
  EXPECT_EQ(slotGenomes[4], genomeWhere([](int) { return true; }));
}

TEST_F(Drawing, ButtonsFireOnTheirFacesWithTheSharedCooldown) {
  // Every point of the left panel fires exactly the button whose face the
  // artwork draws there and shows its tooltip; between faces nothing does.
  std::string tooltips;
  int cooldowns[kButtonCount + 1] = {};
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < 180; ++x) {
      int face = 0;
      for (const artwork::ButtonFace& b : artwork::kButtonFaces)
        if (buttonRect(b.id).contains(x, y)) face = b.id;
      buttonCooldown = 0;
      point(x, y, 1);
      ASSERT_EQ(pollButtons(), face) << x << "," << y;
      ASSERT_EQ(tooltipText[0] != 0, face != 0) << x << "," << y;
      if (face && x == buttonRect(ButtonId(face)).x1 && y == buttonRect(ButtonId(face)).y1) {
        tooltips += std::string(tooltipText) + "|";
        cooldowns[face] = buttonCooldown;
      }
    }
  EXPECT_EQ(sha256Hex(tooltips.data(), tooltips.size()),
            "11057e80e0d0f13eb4bea1c130301a06a8d361d4cfe2fda1e0a3f765c19488a6");
  // Each button's cooldown once it fired: none for the tolerance buttons.
  std::string given;
  for (int id = 1; id <= kButtonCount; ++id) given += std::to_string(cooldowns[id]) + " ";
  EXPECT_EQ(given, "20 20 0 0 20 20 20 20 20 20 20 20 20 20 20 20 ");
  // Held on "Toggle Pause" it fires in frames 1, 22 and 43; the tolerance
  // buttons in every frame, for any mouse button.
  std::string fired;
  buttonCooldown = 0;
  point(100, 90, 1);
  for (int frame = 1; frame <= 50; ++frame) fired += pollButtons() == 16 ? std::to_string(frame) + " " : "";
  EXPECT_EQ(fired, "1 22 43 ");
  buttonCooldown = 0;
  point(130, 150, 4);
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(pollButtons(), 4);
  // One cooldown for all: slot 2, then slot 4 ten frames later does nothing;
  // 21 frames after the first click it fires. Not pressed: the tooltip only.
  point(80, 660, 2);
  EXPECT_EQ(pollButtons(), 10);
  for (int frame = 2; frame <= 21; ++frame) {
    point(frame == 11 ? 80 : 500, frame == 11 ? 692 : 500, 1);
    ASSERT_EQ(pollButtons(), 0) << frame;
  }
  point(80, 692, 1);
  EXPECT_EQ(pollButtons(), 12);
  point(80, 692, 0);
  EXPECT_EQ(pollButtons(), 0);
  EXPECT_STREQ(tooltipText, "Activate this Slot");
}

TEST_F(Drawing, ExtremeValuesDrawOnlyWhatLiesOnTheBitmap) {
  // Positions, genes and offsets at the 32-bit limits (a file can hold
  // them): nothing is drawn off the bitmap and no sum overflows.
  Genome g{};
  for (int k = 0; k < kGeneCount; ++k) g[k] = k % 2 ? INT32_MIN : INT32_MAX;
  placeUnit(0, INT32_MAX, INT32_MIN, g), placeUnit(1, INT32_MIN, INT32_MAX, g), placeUnit(2, 100, 100, g);
  hoverSelection.ids[0] = 0, hoverSelection.ids[1] = 1, pickedSelection.ids[0] = 2;
  setCell(100, 100, Live);
  BITMAP* bmp = makeBitmap(300, 300, kPaper);
  for (auto [x, y] : {tuple{0, 0}, {INT32_MAX, 0}, {0, INT32_MIN}, {1 << 30, 1 << 30}}) drawWorld(bmp, x, y);
  drawMagnifier(bmp, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, 3);
  drawSlotPanel(bmp, INT32_MAX, INT32_MIN, INT32_MAX);
  drawSlotPanel(bmp, INT32_MIN, INT32_MAX, INT32_MIN);
  drawFileNotice("Saving...");  // no screen: nothing
  int changed = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) changed += pixelAt(bmp, x, y) != kPaper && (abs(x - 100) > 10 || abs(y - 100) > 10);
  EXPECT_EQ(changed, 0) << "only Unit 2 and its rings at (100, 100)";
}

TEST(Artwork, DrawnFilesAndTheStartUpCheck) {
  startAllegroWithoutDisplay();
  WorkFolder folder;
  ASSERT_TRUE(artwork::writeArtwork("."));
  using artwork::kBackgroundFile, artwork::kCursorFile, artwork::kFontFile;
  for (auto [name, digest] : {tuple{kBackgroundFile, "f203bd787ec447e41aaf70dd188cd4d9d7069f592b61a6bf07926f495d75a3f5"},
                              {kCursorFile, "26513212f55ef5145de7259c7620844db4dc0b4133ab28a07f1a3c8a2a4e3efb"},
                              {kFontFile, "3ed910337758b1c31303dffd97b12dd5baac7827685899e24800e11d0fdba722"}}) {
    std::string hex;
    EXPECT_TRUE(sha256File(name, &hex) && hex == digest) << name << " is now " << hex << ": if on purpose, record it";
    // Only whole files pass the start-up check: cut short, empty or noise
    // is refused; bytes after the picture do no harm.
    const std::string good = readFile(name), copy = std::string("damaged") + std::strrchr(name, '.');
    EXPECT_TRUE(resourceFileIsWhole(name));
    for (size_t length : {size_t{0}, size_t{1}, size_t{17}, size_t{300}, good.size() / 2, good.size() - 1}) {
      writeFile(copy, good.substr(0, length));
      EXPECT_FALSE(resourceFileIsWhole(copy.c_str())) << name << " cut to " << length;
    }
    std::string noise(5000, '\0');
    uint32_t s = 12345;
    for (char& c : noise) c = (char)((s = s * 1103515245u + 12345u) >> 24);
    writeFile(copy, noise);
    EXPECT_FALSE(resourceFileIsWhole(copy.c_str()));
    writeFile(copy, good + "trailing");
    EXPECT_TRUE(resourceFileIsWhole(copy.c_str()));
  }
  EXPECT_FALSE(resourceFileIsWhole("absent.bmp") || resourceFileIsWhole("."));
}
