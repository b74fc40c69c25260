// The 16 screen buttons. Their faces are part of the background picture;
// here the mouse is only tested against their rectangles. One cooldown is
// shared by all buttons.
#include <cstring>

#include "ui/input.h"
#include "ui/ui.h"

int32_t buttonCooldown = 0;
char tooltipText[200] = "";

namespace {

struct ButtonRow {
  int32_t x1, y1, x2, y2;  // both corners inside
  int32_t cooldown;        // input steps before any button may fire again
  int32_t id;              // reported when the button fires
};

// Ends with a row whose x1 is -1.
constexpr ButtonRow kButtonTable[] = {
    {41, 738, 85, 750, 20, 1},   {88, 738, 132, 750, 20, 2},  {30, 144, 49, 158, 0, 3},
    {122, 144, 141, 158, 0, 4},  {31, 69, 62, 83, 20, 5},     {65, 69, 99, 83, 20, 6},
    {101, 69, 140, 83, 20, 7},   {32, 626, 139, 638, 20, 8},  {32, 642, 139, 654, 20, 9},
    {32, 658, 139, 670, 20, 10}, {32, 674, 139, 686, 20, 11}, {32, 690, 139, 702, 20, 12},
    {32, 706, 139, 718, 20, 13}, {32, 722, 139, 734, 20, 14}, {30, 87, 87, 100, 20, 15},
    {89, 87, 141, 100, 20, 16},  {-1, -1, -1, -1, -1, 0},
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
    "",
};

static_assert(sizeof kButtonTable / sizeof kButtonTable[0] == sizeof kButtonTooltips / sizeof kButtonTooltips[0],
              "one tooltip per button row");

}  // namespace

int pointInRect(int px, int py, int x1, int y1, int x2, int y2) {
  return (x1 <= px && px <= x2 && y1 <= py && py <= y2) ? 1 : 0;
}

int pollButtons(bool inputStep) {
  tooltipText[0] = '\0';
  const int mx = mouseX(), my = mouseY();
  for (int row = 0; kButtonTable[row].x1 != -1; ++row) {
    const ButtonRow& b = kButtonTable[row];
    if (!pointInRect(mx, my, b.x1, b.y1, b.x2, b.y2)) continue;
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
