// The 16 screen buttons. Their faces are part of the background picture;
// here the mouse is only tested against their rectangles (ui/layout.h). One cooldown is
// shared by all buttons.
#include <cstring>

#include "ui/input.h"
#include "ui/ui.h"

int32_t buttonCooldown = 0;
char tooltipText[200] = "";

namespace {

struct ButtonRow {
  ButtonId id;       // reported when the button fires; its rectangle is buttonRect(id)
  int32_t cooldown;  // input steps before any button may fire again
};

constexpr ButtonRow kButtonTable[] = {
    {kSaveSlotButton, 20},      {kLoadSlotButton, 20},  {kToleranceDownButton, 0}, {kToleranceUpButton, 0},
    {kNewWorldButton, 20},      {kSaveStateButton, 20}, {kLoadStateButton, 20},    {kSlotButton0, 20},
    {kSlotButton1, 20},         {kSlotButton2, 20},     {kSlotButton3, 20},        {kSlotButton4, 20},
    {kSlotButton5, 20},         {kSlotButton6, 20},     {kScreenModeButton, 20},   {kPauseButton, 20},
};

const char kButtonTooltips[][200] = {
    "Save primary selected Unit to active Slot",
    "Load active Slot to all selected Units",
    "Decrease Similarity-Tolerance",
    "Increase Similarity-Tolerance",
    "Start new Simulation (All Units will be killed)",
    "Save Simulation-State to 'usersaved.sav'",
    "Load Simulation-State from 'usersaved.sav'",
    "Activate this Slot",
    "Activate this Slot",
    "Activate this Slot",
    "Activate this Slot",
    "Activate this Slot",
    "Activate this Slot",
    "Activate this Slot",
    "Toggle Fullscreen/Windowed-Mode (Only for Desktops higher than 1024x768)",
    "Toggle Pause",
};

static_assert(sizeof kButtonTable / sizeof kButtonTable[0] == kButtonCount &&
                  sizeof kButtonTooltips / sizeof kButtonTooltips[0] == kButtonCount,
              "one row and one tooltip per button");

}  // namespace

int pointInRect(int px, int py, int x1, int y1, int x2, int y2) {
  return (x1 <= px && px <= x2 && y1 <= py && py <= y2) ? 1 : 0;
}

int pollButtons(bool inputStep) {
  tooltipText[0] = '\0';
  const int mx = mouseX(), my = mouseY();
  for (int row = 0; row < kButtonCount; ++row) {
    const ButtonRow& b = kButtonTable[row];
    const LayoutRect& r = buttonRect(b.id);
    if (!pointInRect(mx, my, r.x1, r.y1, r.x2, r.y2)) continue;
    std::memcpy(tooltipText, kButtonTooltips[row], sizeof tooltipText);
    if (inputStep && stepMouseButtons() != 0 && buttonCooldown == 0) {
      buttonCooldown = b.cooldown;
      return b.id;
    }
  }
  if (!inputStep) return 0;
  if (buttonCooldown > 0) buttonCooldown -= 1;
  if (buttonCooldown < 0) buttonCooldown = 0;
  return 0;
}
