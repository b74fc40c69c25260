// Writes the screen's geometry and the state file's layout as shell
// variables for the whole-program tests (build/geometry.sh), from the same
// constants the programs are built with: a button moved in ui/layout.h, or
// a field added to the state file, is moved in the tests too.
//   make-geometry OUT.sh
#include <cstdio>
#include <string>

#include "persist/statefile.h"
#include "ui/layout.h"

namespace {

std::string point(const LayoutRect& r) { return "\"" + std::to_string(r.centreX()) + " " + std::to_string(r.centreY()) + "\""; }
std::string area(const LayoutRect& r) {
  return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x1) + "+" +
         std::to_string(r.y1);
}
// A whole number with a comma between each three digits, as the programs' messages write it.
std::string grouped(int64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) out += (i > 0 && (digits.size() - i) % 3 == 0 ? "," : "") + digits.substr(i, 1);
  return out;
}
bool onAButtonOrTheWorld(int x, int y) {
  if (kWorldMouseArea.contains(x, y)) return true;
  for (int b = 1; b <= kButtonCount; ++b)
    if (kButtonRects[b].contains(x, y)) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-geometry OUT.sh\n");
    return 2;
  }
  // A point for the pointer to rest on: no button, not the world, not the
  // magnifier's panel.
  int nx = 8, ny = 400;
  while (onAButtonOrTheWorld(nx, ny) || kMagnifierArea.contains(nx, ny)) ny += 1;
  std::string text =
      "# The screen's geometry and the state file's layout, for the whole-program tests:\n"
      "# written at build time by tools/make_geometry.cpp from ui/layout.h and\n"
      "# persist/statefile.h. Points are \"x y\", areas WIDTHxHEIGHT+X+Y.\n";
  auto put = [&](const std::string& name, const std::string& value) { text += name + "=" + value + "\n"; };
  put("WORLD", area(kWorldArea));
  put("WORLD_X", std::to_string(WorldOffsetX));
  put("WORLD_Y", std::to_string(WorldOffsetY));
  put("GRAPH", area(kGraphArea));
  put("MAGNIFIER", area(kMagnifierArea));
  put("NEUTRAL", "\"" + std::to_string(nx) + " " + std::to_string(ny) + "\"");
  put("NEW", point(buttonRect(kNewWorldButton)));
  put("SAVE", point(buttonRect(kSaveStateButton)));
  put("LOAD", point(buttonRect(kLoadStateButton)));
  put("SCREEN", point(buttonRect(kScreenModeButton)));
  put("PAUSE", point(buttonRect(kPauseButton)));
  put("TOLERANCE_DOWN", point(buttonRect(kToleranceDownButton)));
  put("TOLERANCE_UP", point(buttonRect(kToleranceUpButton)));
  put("SLOT_SAVE", point(buttonRect(kSaveSlotButton)));
  put("SLOT_LOAD", point(buttonRect(kLoadSlotButton)));
  for (int slot = 0; slot < 7; ++slot) put("SLOT" + std::to_string(slot), point(slotButtonRect(slot)));
  put("STATE_LINES", std::to_string(kStateFileLines));
  put("STATE_LINES_GROUPED", grouped(kStateFileLines));
  put("POSX_LINE", std::to_string(kPosXLine));
  put("POSY_LINE", std::to_string(kPosYLine));
  put("STATUS_LINE", std::to_string(kStatusLine));
  put("FOOD_DIVISOR_LINE", std::to_string(kFoodDivisorLine));
  put("GENOME_LINE", std::to_string(kGenomeLine));
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out || std::fputs(text.c_str(), out) < 0 || std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
