// The program's artwork, drawn from code: the background picture with the
// panels and button faces, the mouse pointer and the interface font.
//
// Everything here is plain Allegro drawing on memory bitmaps, so it runs
// without a display (install_allegro(SYSTEM_NONE, ...) is enough).  The
// make-artwork tool writes the three files at build time; the tests call the
// same functions.
#pragma once

#include <allegro.h>

#include <cstring>
#include <string>

#include "tools/glyphs.h"
#include "ui/layout.h"

namespace artwork {

constexpr const char* kBackgroundFile = "bg.bmp";
constexpr const char* kCursorFile = "cursor.bmp";
constexpr const char* kFontFile = "spacefont.pcx";

using Rect = LayoutRect;

// The faces of the 16 screen buttons, at the rectangles the program
// hit-tests (ui/layout.h); a face covers its rectangle exactly and nothing
// else. An empty label marks a slot row: the program draws its marker,
// label and glyph itself, so the face is a plain plate.
struct ButtonFace {
  ButtonId id;
  const char* label;
};

inline constexpr ButtonFace kButtonFaces[kButtonCount] = {
    {kSaveSlotButton, "Save"},        // genome of the primary to the slot
    {kLoadSlotButton, "Load"},        // slot into the picked Units
    {kToleranceDownButton, "-"},
    {kToleranceUpButton, "+"},
    {kNewWorldButton, "New"},         // new simulation
    {kSaveStateButton, "Save"},       // state to usersaved.sav
    {kLoadStateButton, "Load"},       // state from usersaved.sav
    {kSlotButton0, ""},               // slot rows 0 to 6
    {kSlotButton1, ""},
    {kSlotButton2, ""},
    {kSlotButton3, ""},
    {kSlotButton4, ""},
    {kSlotButton5, ""},
    {kSlotButton6, ""},
    {kScreenModeButton, "Screen"},    // fullscreen / windowed
    {kPauseButton, "Pause"},
};

// The groove the tolerance bar fills.
inline constexpr Rect kToleranceGroove = kToleranceBar;

// The pointer picture: 20 x 20, hot spot at the top left pixel.
constexpr int kCursorSize = kCursorSide;
inline const char* const kCursorShape[kCursorSize] = {
    "X...................", "XX..................", "XoX.................",
    "XooX................", "XoooX...............", "XooooX..............",
    "XoooooX.............", "XooooooX............", "XoooooooX...........",
    "XooooooooX..........", "XoooooooooX.........", "XooooooXXXXX........",
    "XoooXooX............", "XooXXooX............", "XoX..XooX...........",
    "XX...XooX...........", "X.....XooX..........", "......XooX..........",
    ".......XX...........", "....................",
};

// The font sheet: an 8-bit picture with the glyphs of ' ' to '~' on a grid of
// 8 x 8 cells, separated by lines of colour 255; 0 is the background of a
// glyph and 1 its ink.
constexpr int kSheetColumns = 16;
constexpr int kSheetRows = (kGlyphCount + kSheetColumns - 1) / kSheetColumns;
constexpr int kSheetPitch = kGlyphSize + 1;
constexpr int kSheetW = kSheetColumns * kSheetPitch + 1;
constexpr int kSheetH = kSheetRows * kSheetPitch + 1;
constexpr int kSheetBorder = 255;
constexpr int kSheetInk = 1;

inline const char* const* glyphRows(int c) {
  if (c < kGlyphFirst || c > kGlyphLast) c = '?';
  return kGlyphs[c - kGlyphFirst];
}

// ---------------------------------------------------------------------------
// Drawing helpers (24-bit bitmaps)

inline int rgb(int r, int g, int b) { return makecol_depth(24, r, g, b); }

inline int textWidth(const char* s, int scale = 1) {
  return static_cast<int>(std::strlen(s)) * kGlyphSize * scale;
}

// Draws s with its top left corner at (x, y), each glyph pixel as a
// scale x scale block.
inline void drawText(BITMAP* bmp, int x, int y, const char* s, int colour, int scale = 1) {
  for (; *s; ++s, x += kGlyphSize * scale) {
    const char* const* rows = glyphRows(static_cast<unsigned char>(*s));
    for (int gy = 0; gy < kGlyphSize; ++gy)
      for (int gx = 0; gx < kGlyphSize; ++gx)
        if (rows[gy][gx] == '#')
          rectfill(bmp, x + gx * scale, y + gy * scale, x + gx * scale + scale - 1,
                   y + gy * scale + scale - 1, colour);
  }
}

inline void drawTextCentred(BITMAP* bmp, int cx, int y, const char* s, int colour, int scale = 1) {
  drawText(bmp, cx - textWidth(s, scale) / 2, y, s, colour, scale);
}

// Text with a one-pixel shadow below and to the right.
inline void drawTextShadowed(BITMAP* bmp, int x, int y, const char* s, int colour, int scale = 1) {
  drawText(bmp, x + 1, y + 1, s, rgb(0, 0, 0), scale);
  drawText(bmp, x, y, s, colour, scale);
}

// Blends two colours channel by channel; t from 0 (a) to 256 (b).
inline int mix(int ar, int ag, int ab, int br, int bg, int bb, int t) {
  return rgb(ar + (br - ar) * t / 256, ag + (bg - ag) * t / 256, ab + (bb - ab) * t / 256);
}

// A raised panel: a filled box with chamfered corners and a hairline rim.
inline void drawPanel(BITMAP* bmp, Rect r) {
  const int fill = rgb(15, 23, 33);
  const int rim = rgb(0, 78, 74);
  const int inner = rgb(24, 36, 48);
  rectfill(bmp, r.x1 + 1, r.y1 + 1, r.x2 - 1, r.y2 - 1, fill);
  hline(bmp, r.x1 + 2, r.y1, r.x2 - 2, rim);
  hline(bmp, r.x1 + 2, r.y2, r.x2 - 2, rim);
  vline(bmp, r.x1, r.y1 + 2, r.y2 - 2, rim);
  vline(bmp, r.x2, r.y1 + 2, r.y2 - 2, rim);
  putpixel(bmp, r.x1 + 1, r.y1 + 1, rim);
  putpixel(bmp, r.x2 - 1, r.y1 + 1, rim);
  putpixel(bmp, r.x1 + 1, r.y2 - 1, rim);
  putpixel(bmp, r.x2 - 1, r.y2 - 1, rim);
  hline(bmp, r.x1 + 2, r.y1 + 1, r.x2 - 2, inner);
}

inline void drawHeading(BITMAP* bmp, int cx, int y, const char* s) {
  drawTextCentred(bmp, cx, y, s, rgb(0, 190, 172));
}

// A sunken well: dark inside, shadow on the top left, light on the bottom
// right, the edges lying just outside r.
inline void drawWell(BITMAP* bmp, Rect r, int fill) {
  rectfill(bmp, r.x1, r.y1, r.x2, r.y2, fill);
  hline(bmp, r.x1 - 1, r.y1 - 1, r.x2 + 1, rgb(2, 4, 6));
  vline(bmp, r.x1 - 1, r.y1 - 1, r.y2 + 1, rgb(2, 4, 6));
  hline(bmp, r.x1 - 1, r.y2 + 1, r.x2 + 1, rgb(40, 62, 72));
  vline(bmp, r.x2 + 1, r.y1, r.y2 + 1, rgb(40, 62, 72));
}

// A button face filling r exactly: a dark rim, a gradient face with a light
// top edge and a dark bottom edge, and the label centred on it.
inline void drawButtonFace(BITMAP* bmp, Rect r, const char* label) {
  const int h = r.y2 - r.y1 + 1;
  const int w = r.x2 - r.x1 + 1;
  for (int y = r.y1 + 1; y < r.y2; ++y)
    hline(bmp, r.x1 + 1, y, r.x2 - 1, mix(44, 84, 94, 22, 44, 54, (y - r.y1) * 256 / h));
  rect(bmp, r.x1, r.y1, r.x2, r.y2, rgb(4, 10, 14));
  hline(bmp, r.x1 + 1, r.y1 + 1, r.x2 - 1, rgb(92, 156, 160));
  vline(bmp, r.x1 + 1, r.y1 + 1, r.y2 - 1, rgb(64, 118, 124));
  hline(bmp, r.x1 + 1, r.y2 - 1, r.x2 - 1, rgb(12, 26, 32));
  vline(bmp, r.x2 - 1, r.y1 + 2, r.y2 - 1, rgb(12, 26, 32));
  // Capitals and symbols have their ink on glyph rows 0 to 6.
  const int x = r.x1 + (w - textWidth(label)) / 2;
  const int y = r.y1 + (h - 7) / 2;
  drawTextShadowed(bmp, x, y, label, rgb(200, 248, 238));
}

// A plain plate for a slot row.
inline void drawSlotPlate(BITMAP* bmp, Rect r) {
  rectfill(bmp, r.x1, r.y1, r.x2, r.y2, rgb(26, 42, 52));
  rect(bmp, r.x1, r.y1, r.x2, r.y2, rgb(6, 12, 16));
  hline(bmp, r.x1 + 1, r.y1 + 1, r.x2 - 1, rgb(44, 70, 80));
}

// Key help: the key on the left, what it does on the right.
inline void drawKeyLine(BITMAP* bmp, Rect panel, int y, const char* keyText, const char* action) {
  drawText(bmp, panel.x1 + 6, y, keyText, rgb(0, 200, 180));
  drawText(bmp, panel.x2 - 6 - textWidth(action), y, action, rgb(150, 168, 178));
}

// ---------------------------------------------------------------------------
// The three pictures

// The 1024 x 768 background, 24-bit.  Returns null when no bitmap could be
// made.
inline BITMAP* drawBackground() {
  BITMAP* bmp = create_bitmap_ex(24, kScreenWidth, kScreenHeight);
  if (!bmp) return nullptr;

  // A calm vertical gradient from slate blue to near black.
  for (int y = 0; y < kScreenHeight; ++y)
    hline(bmp, 0, y, kScreenWidth - 1, mix(15, 22, 32, 7, 10, 16, y * 256 / kScreenHeight));

  // Title bar.
  drawTextShadowed(bmp, 22, 11, "TARN", rgb(0, 230, 205), 2);
  drawText(bmp, 22 + textWidth("TARN", 2) + 14, 19, "an artificial-life sandbox",
           rgb(110, 140, 150));
  drawText(bmp, 1006 - textWidth("Esc quits"), 19, "Esc quits", rgb(110, 140, 150));

  // The world: a plain, almost black field in a double frame.
  const Rect w = kWorldArea;
  rect(bmp, w.x1 - 2, w.y1 - 2, w.x2 + 2, w.y2 + 2, rgb(28, 42, 54));
  rect(bmp, w.x1 - 1, w.y1 - 1, w.x2 + 1, w.y2 + 1, rgb(0, 96, 90));
  rectfill(bmp, w.x1, w.y1, w.x2, w.y2, rgb(3, 5, 8));

  // Left column: simulation controls.
  const Rect controls = kControlsPanel;
  drawPanel(bmp, controls);
  drawHeading(bmp, 86, 53, "Simulation");
  drawHeading(bmp, 86, 117, "Similarity");
  drawHeading(bmp, 86, 127, "Tolerance");
  drawWell(bmp, kToleranceGroove, rgb(4, 8, 11));
  // Tick marks under the groove at every quarter of the range.
  for (int i = 0; i <= 4; ++i) {
    const int x = kToleranceGroove.x1 + i * kToleranceBarLength / 4;
    vline(bmp, x, kToleranceGroove.y2 + 3, kToleranceGroove.y2 + 5, rgb(0, 110, 100));
  }

  // Key help.
  const Rect keys = kKeysPanel;
  drawPanel(bmp, keys);
  drawHeading(bmp, 86, 188, "Keys");
  drawKeyLine(bmp, keys, 206, "Esc", "Quit");
  drawKeyLine(bmp, keys, 220, "Space", "Evolve");
  drawKeyLine(bmp, keys, 234, "+ -", "Tolerance");
  drawKeyLine(bmp, keys, 248, "1 2", "Slot");
  drawKeyLine(bmp, keys, 262, "L-click", "Pick");
  drawKeyLine(bmp, keys, 276, "R-click", "Clear");
  drawKeyLine(bmp, keys, 290, "F", "Fast");
  drawKeyLine(bmp, keys, 304, "F12", "Picture");

  // Slot column.
  const Rect slots = kSlotsPanel;
  drawPanel(bmp, slots);
  drawHeading(bmp, 86, 613, "Genome Slots");

  // Population graph.
  const Rect g = kGraphArea;
  drawText(bmp, g.x1, 588, "Population", rgb(0, 190, 172));
  drawText(bmp, g.x2 + 1 - textWidth("0 - 800 Units"), 588, "0 - 800 Units", rgb(90, 120, 130));
  rect(bmp, g.x1 - 1, g.y1 - 1, g.x2 + 1, g.y2 + 1, rgb(0, 78, 74));
  rectfill(bmp, g.x1, g.y1, g.x2, g.y2, rgb(5, 9, 14));
  // Grid: a line for every 200 Units, a dotted column every 50 pixels.
  for (int i = 1; i < 4; ++i) hline(bmp, g.x1, g.y1 + i * 35, g.x2, rgb(16, 30, 38));
  for (int x = g.x2 - 50; x > g.x1; x -= 50)
    for (int y = g.y1 + 1; y < g.y2; y += 3) putpixel(bmp, x, y, rgb(16, 30, 38));

  // Status line strip.
  const Rect s = kStatusStrip;
  rectfill(bmp, s.x1, s.y1, s.x2, s.y2, rgb(10, 17, 25));
  hline(bmp, s.x1, s.y1, s.x2, rgb(0, 60, 58));
  hline(bmp, s.x1, s.y2, s.x2, rgb(0, 60, 58));

  // Magnifier frame: a panel with a double rim around the 150 x 150 picture.
  const Rect m = kMagnifierArea;
  drawPanel(bmp, {m.x1 - 8, 578, m.x2 + 8, m.y2 + 8});
  drawHeading(bmp, (m.x1 + m.x2 + 1) / 2, 586, "Magnifier");
  rect(bmp, m.x1 - 2, m.y1 - 2, m.x2 + 2, m.y2 + 2, rgb(0, 130, 120));
  rect(bmp, m.x1 - 1, m.y1 - 1, m.x2 + 1, m.y2 + 1, rgb(2, 4, 6));
  rectfill(bmp, m.x1, m.y1, m.x2, m.y2, rgb(0, 0, 0));

  // Buttons last, so nothing of the panels lies over a face.
  for (const ButtonFace& b : kButtonFaces) {
    if (b.label[0])
      drawButtonFace(bmp, buttonRect(b.id), b.label);
    else
      drawSlotPlate(bmp, buttonRect(b.id));
  }
  return bmp;
}

// The 20 x 20 pointer, 24-bit, magenta where transparent.
inline BITMAP* drawCursor() {
  BITMAP* bmp = create_bitmap_ex(24, kCursorSize, kCursorSize);
  if (!bmp) return nullptr;
  for (int y = 0; y < kCursorSize; ++y)
    for (int x = 0; x < kCursorSize; ++x) {
      const char c = kCursorShape[y][x];
      const int colour = c == 'X' ? rgb(0, 0, 0) : c == 'o' ? rgb(255, 255, 255) : rgb(255, 0, 255);
      putpixel(bmp, x, y, colour);
    }
  return bmp;
}

// The 8-bit font sheet and its palette.
inline BITMAP* drawFontSheet(PALETTE pal) {
  for (int i = 0; i < PAL_SIZE; ++i) pal[i].r = pal[i].g = pal[i].b = 0;
  pal[kSheetInk].r = pal[kSheetInk].g = pal[kSheetInk].b = 63;
  pal[kSheetBorder].r = pal[kSheetBorder].g = 63;

  BITMAP* bmp = create_bitmap_ex(8, kSheetW, kSheetH);
  if (!bmp) return nullptr;
  clear_to_color(bmp, kSheetBorder);
  for (int i = 0; i < kGlyphCount; ++i) {
    const int x0 = (i % kSheetColumns) * kSheetPitch + 1;
    const int y0 = (i / kSheetColumns) * kSheetPitch + 1;
    rectfill(bmp, x0, y0, x0 + kGlyphSize - 1, y0 + kGlyphSize - 1, 0);
    for (int y = 0; y < kGlyphSize; ++y)
      for (int x = 0; x < kGlyphSize; ++x)
        if (kGlyphs[i][y][x] == '#') putpixel(bmp, x0 + x, y0 + y, kSheetInk);
  }
  return bmp;
}

// Writes bg.bmp, cursor.bmp and spacefont.pcx into dir.  Returns false, with
// the name of the file in *failed, when one could not be made or written.
inline bool writeArtwork(const std::string& dir, std::string* failed = nullptr) {
  const std::string base = dir.empty() ? std::string() : dir + "/";
  PALETTE pal;
  for (int i = 0; i < PAL_SIZE; ++i) pal[i].r = pal[i].g = pal[i].b = 0;

  struct Item {
    const char* name;
    BITMAP* bmp;
    bool paletted;
  };
  PALETTE fontPal;
  Item items[] = {{kBackgroundFile, drawBackground(), false},
                  {kCursorFile, drawCursor(), false},
                  {kFontFile, drawFontSheet(fontPal), true}};
  bool ok = true;
  for (Item& item : items) {
    const std::string path = base + item.name;
    if (ok && (!item.bmp || save_bitmap(path.c_str(), item.bmp, item.paletted ? fontPal : pal) != 0)) {
      ok = false;
      if (failed) *failed = path;
    }
    if (item.bmp) destroy_bitmap(item.bmp);
  }
  return ok;
}

}  // namespace artwork
