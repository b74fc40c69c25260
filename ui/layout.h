// The screen's geometry, in one place: the world, the buttons, the panels
// the program draws into and the frames the artwork draws around them. The
// frame loop, the panels, the button table and the artwork generator all
// read it from here, so moving a button or a panel is one edit.
//
// Plain constants only (and the world's size): the artwork generator and the
// tests include this without the rest of the drawing code.
#pragma once

#include "world/cellfield.h"

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// A rectangle of screen pixels, both corners inside.
struct LayoutRect {
  int x1, y1, x2, y2;

  constexpr int width() const { return x2 - x1 + 1; }
  constexpr int height() const { return y2 - y1 + 1; }
  constexpr bool contains(int x, int y) const { return x1 <= x && x <= x2 && y1 <= y && y <= y2; }
  // The middle pixel (rounded up and to the left).
  constexpr int centreX() const { return (x1 + x2) / 2; }
  constexpr int centreY() const { return (y1 + y2) / 2; }
};

// --- The world --------------------------------------------------------------

// Screen point of world cell (0, 0); a cell is a pixel.
constexpr int WorldOffsetX = 182;
constexpr int WorldOffsetY = 43;
// The pixels the world is drawn on.
constexpr LayoutRect kWorldArea{WorldOffsetX, WorldOffsetY, WorldOffsetX + kWorldWidth - 1,
                                WorldOffsetY + kWorldHeight - 1};
// Where the mouse points at Units: one pixel more to the right and below.
constexpr LayoutRect kWorldMouseArea{kWorldArea.x1, kWorldArea.y1, kWorldArea.x2 + 1, kWorldArea.y2 + 1};

// --- The buttons ------------------------------------------------------------

// The ids the button table reports and the frame loop dispatches.
enum ButtonId : int {
  kNoButton = 0,
  kSaveSlotButton = 1,     // the picked primary's genome to the active slot
  kLoadSlotButton = 2,     // the active slot into every picked Unit
  kToleranceDownButton = 3,
  kToleranceUpButton = 4,
  kNewWorldButton = 5,
  kSaveStateButton = 6,    // usersaved.sav
  kLoadStateButton = 7,
  kSlotButton0 = 8,        // 8 to 14: activate slot id - kSlotButton0
  kSlotButton1, kSlotButton2, kSlotButton3, kSlotButton4, kSlotButton5, kSlotButton6,
  kScreenModeButton = 15,  // fullscreen or windowed
  kPauseButton = 16,
};
constexpr int kButtonCount = kPauseButton;

// The slot panel's rows: slot i's glyph is centred on (kSlotRowsX,
// kSlotRowsY + i x kSlotRowsStep), its marker kSlotMarkerDX to the left, its
// label centred on kSlotLabelX, kSlotLabelDY above the row's centre.
constexpr int kSlotRowsX = 134, kSlotRowsY = 632, kSlotRowsStep = 16;
constexpr int kSlotMarkerDX = 96;
constexpr int kSlotLabelX = 87, kSlotLabelDY = 4;

// Slot i's button: the plate behind its row.
constexpr LayoutRect slotButtonRect(int slot) {
  return LayoutRect{32, kSlotRowsY - 6 + slot * kSlotRowsStep, 139, kSlotRowsY + 6 + slot * kSlotRowsStep};
}

// The rectangles of the buttons, by id (1 to kButtonCount). No two overlap.
constexpr LayoutRect kButtonRects[kButtonCount + 1] = {
    {-1, -1, -1, -1},      // kNoButton: no rectangle
    {41, 738, 85, 750},    // kSaveSlotButton
    {88, 738, 132, 750},   // kLoadSlotButton
    {30, 144, 49, 158},    // kToleranceDownButton
    {122, 144, 141, 158},  // kToleranceUpButton
    {31, 69, 62, 83},      // kNewWorldButton
    {65, 69, 99, 83},      // kSaveStateButton
    {101, 69, 140, 83},    // kLoadStateButton
    slotButtonRect(0),     slotButtonRect(1), slotButtonRect(2), slotButtonRect(3),
    slotButtonRect(4),     slotButtonRect(5), slotButtonRect(6),
    {30, 87, 87, 100},     // kScreenModeButton
    {89, 87, 141, 100},    // kPauseButton
};
constexpr const LayoutRect& buttonRect(ButtonId id) { return kButtonRects[id]; }

// A point lies in at most one button, and no button on the world.
constexpr bool overlap(const LayoutRect& a, const LayoutRect& b) {
  return a.x1 <= b.x2 && b.x1 <= a.x2 && a.y1 <= b.y2 && b.y1 <= a.y2;
}
constexpr bool buttonsApart() {
  for (int a = 1; a <= kButtonCount; ++a) {
    const LayoutRect& r = kButtonRects[a];
    if (r.x1 < 0 || r.y1 < 0 || r.x2 >= kScreenWidth || r.y2 >= kScreenHeight || r.x1 > r.x2 || r.y1 > r.y2 ||
        overlap(r, kWorldMouseArea))
      return false;
    for (int b = a + 1; b <= kButtonCount; ++b)
      if (overlap(r, kButtonRects[b])) return false;
  }
  return true;
}
static_assert(buttonsApart(), "every button on the screen, off the world and apart from the others");

// --- The panels -------------------------------------------------------------

// The Similarity-Tolerance bar: from kToleranceBar.x1 between the two
// tolerance buttons, kToleranceBarLength + 1 pixels long at tolerance 40; its
// pale core is rows kToleranceCoreY1 to kToleranceCoreY2.
constexpr LayoutRect kToleranceBar{52, 148, 120, 154};
constexpr int kToleranceBarLength = kToleranceBar.x2 - kToleranceBar.x1;
constexpr int kToleranceCoreY1 = kToleranceBar.y1 + 2, kToleranceCoreY2 = kToleranceBar.y2 - 2;

// The population graph: a kGraphWidth x kGraphHeight bitmap shown at
// (kGraphX, kGraphY); its top row is the cull threshold's count of Units
// (regulation.cull_at, 800 unless the rules say otherwise).
constexpr int kGraphX = 173, kGraphY = 602;
constexpr int kGraphWidth = 659, kGraphHeight = 140;
constexpr LayoutRect kGraphArea{kGraphX, kGraphY, kGraphX + kGraphWidth - 1, kGraphY + kGraphHeight - 1};

// The status line, centred on (kStatusLineX, kStatusLineY), in its strip.
constexpr int kStatusLineX = 490, kStatusLineY = 747;
constexpr LayoutRect kStatusStrip{172, 744, 832, 758};

// The magnifier: the kMagnifierSource-pixel square around its centre,
// kMagnifierFactor times enlarged, at (kMagnifierX, kMagnifierY).
constexpr int kMagnifierX = 852, kMagnifierY = 599;
constexpr int kMagnifierFactor = 3;
constexpr int kMagnifierSource = 50;
constexpr LayoutRect kMagnifierArea{kMagnifierX, kMagnifierY, kMagnifierX + kMagnifierSource * kMagnifierFactor - 1,
                                    kMagnifierY + kMagnifierSource * kMagnifierFactor - 1};

// The mouse pointer's picture: kCursorSide x kCursorSide, drawn from the
// mouse point.
constexpr int kCursorSide = 20;

// The artwork's panels around the program's own drawing.
constexpr LayoutRect kControlsPanel{22, 43, 149, 166};  // the state buttons, the tolerance bar
constexpr LayoutRect kKeysPanel{22, 178, 149, 324};     // key help
constexpr LayoutRect kSlotsPanel{22, 604, 149, 757};    // the slot rows and their two buttons
