// The button rectangles, the shared repeat cooldown and the tooltip texts.
#include <cstring>
#include <string>

#include "ui_testing.h"

namespace {

class ButtonTest : public UiTest {
 protected:
  // One frame with the pointer at (x, y) and the given mouse buttons.
  int frame(int x, int y, int buttons) {
    input.mouseX = x;
    input.mouseY = y;
    input.mouseB = buttons;
    return pollButtons();
  }
  // The frames (counted from 1) in which button id fired while held at (x, y).
  std::string firingFrames(int x, int y, int frames, int id) {
    std::string fired;
    for (int f = 1; f <= frames; ++f)
      if (frame(x, y, 1) == id) fired += std::to_string(f) + " ";
    return fired;
  }
};

TEST(PointInRect, BothCornersAreInside) {
  EXPECT_EQ(pointInRect(41, 738, 41, 738, 85, 750), 1);
  EXPECT_EQ(pointInRect(85, 750, 41, 738, 85, 750), 1);
  EXPECT_EQ(pointInRect(86, 750, 41, 738, 85, 750), 0);
  EXPECT_EQ(pointInRect(41, 737, 41, 738, 85, 750), 0);
  EXPECT_EQ(pointInRect(5, 5, 5, 5, 5, 5), 1);
  EXPECT_EQ(pointInRect(5, 5, 6, 6, 4, 4), 0);  // an inverted rectangle holds nothing
}

struct ButtonCase {
  int id, x1, y1, x2, y2;
  const char* tooltip;
};

const ButtonCase kButtons[] = {
    {1, 41, 738, 85, 750, "Save primary selected Unit to active Slot"},
    {2, 88, 738, 132, 750, "Load active Slot to all selected Units"},
    {3, 30, 144, 49, 158, "Decrease Similarity-Tolerance"},
    {4, 122, 144, 141, 158, "Increase Similarity-Tolerance"},
    {5, 31, 69, 62, 83, "Start new Simulation (All Units will be killed)"},
    {6, 65, 69, 99, 83, "Save Simulation-State to 'usersaved.sav'"},
    {7, 101, 69, 140, 83, "Load Simulation-State from 'usersaved.sav'"},
    {8, 32, 626, 139, 638, "Activate this Slot"},
    {9, 32, 642, 139, 654, "Activate this Slot"},
    {10, 32, 658, 139, 670, "Activate this Slot"},
    {11, 32, 674, 139, 686, "Activate this Slot"},
    {12, 32, 690, 139, 702, "Activate this Slot"},
    {13, 32, 706, 139, 718, "Activate this Slot"},
    {14, 32, 722, 139, 734, "Activate this Slot"},
    {15, 30, 87, 87, 100, "Toggle Fullscreen/Windowed-Mode (Only for Desktops higher than 1024x768)"},
    {16, 89, 87, 141, 100, "Toggle Pause"},
};

TEST_F(ButtonTest, EachButtonFiresAtBothCornersWithItsTooltip) {
  for (const ButtonCase& b : kButtons) {
    for (auto [x, y] : {std::pair{b.x1, b.y1}, std::pair{b.x2, b.y2}}) {
      buttonCooldown = 0;
      EXPECT_EQ(frame(x, y, 1), b.id) << x << "," << y;
      EXPECT_STREQ(tooltipText, b.tooltip);
    }
  }
}

TEST_F(ButtonTest, GapsBetweenSlotButtonsHoldNoButton) {
  for (int slot = 0; slot < 6; ++slot)
    for (int gap = 1; gap <= 3; ++gap) {
      const int y = 638 + 16 * slot + gap;
      EXPECT_EQ(frame(80, y, 1), 0) << y;
      EXPECT_STREQ(tooltipText, "") << y;
    }
  EXPECT_EQ(frame(80, 638, 1), 8);
  buttonCooldown = 0;
  EXPECT_EQ(frame(80, 642, 1), 9);
}

TEST_F(ButtonTest, HeldClickOnPauseFiresInFrames1_22And43) {
  EXPECT_EQ(firingFrames(100, 90, 50, 16), "1 22 43 ");
  EXPECT_STREQ(tooltipText, "Toggle Pause");
}

TEST_F(ButtonTest, ToleranceButtonsFireInEveryFrame) {
  EXPECT_EQ(firingFrames(130, 150, 5, 4), "1 2 3 4 5 ");
  EXPECT_EQ(firingFrames(40, 150, 3, 3), "1 2 3 ");
}

TEST_F(ButtonTest, CooldownIsSharedByAllButtons) {
  EXPECT_EQ(frame(80, 660, 1), 10);  // slot 2
  for (int f = 0; f < 9; ++f) frame(500, 500, 0);
  EXPECT_EQ(frame(80, 692, 1), 0);  // slot 4, 10 frames later
  EXPECT_STREQ(tooltipText, "Activate this Slot");
  EXPECT_EQ(frame(130, 150, 1), 0);  // even a cooldown-0 button waits
  for (int f = 0; f < 8; ++f) frame(500, 500, 1);  // held off any button: still runs down
  EXPECT_EQ(buttonCooldown, 1);
  EXPECT_EQ(frame(80, 692, 1), 0);  // 20 frames after the first click
  EXPECT_EQ(frame(80, 692, 1), 12);  // 21 frames after it
  EXPECT_EQ(buttonCooldown, 20);
}

TEST_F(ButtonTest, AnyMouseButtonFiresAndAnUnpressedMouseOnlySetsTheTooltip) {
  EXPECT_EQ(frame(60, 75, 0), 0);
  EXPECT_STREQ(tooltipText, "Start new Simulation (All Units will be killed)");
  EXPECT_EQ(buttonCooldown, 0);
  EXPECT_EQ(frame(60, 75, 2), 5);  // right button
  buttonCooldown = 0;
  EXPECT_EQ(frame(60, 75, 4), 5);  // middle button
  EXPECT_EQ(frame(500, 500, 0), 0);
  EXPECT_STREQ(tooltipText, "");
}

}  // namespace
