// What every test shares: a fresh simulation, a private working folder, file
// helpers, state digests and, for the drawing tests, Allegro without a
// display. Tests read and write the cell field only through the functions
// here, so that a change of the field's layout is met in this file alone.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "genome/genome.h"
#include "units/params.h"
#include "persist/digest.h"
#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

// --- The cell field -------------------------------------------------------
inline int32_t cellAt(int x, int y) { return cellState(x, y); }
inline int32_t countAt(int x, int y) { return neighbourCount(x, y); }
inline int32_t markAt(int x, int y) { return claimMark(x, y); }
inline void setCell(int x, int y, int32_t state) { editCellGrids().cells[cellIndex(x, y)] = state; }
inline void setCount(int x, int y, int32_t count) { editCellGrids().neighbourCounts[cellIndex(x, y)] = count; }
// A Live cell with the neighbour counts a recount would give it.
inline void placeLive(int x, int y) {
  setCell(x, y, Live);
  for (int nx = x - 1; nx <= x + 1; ++nx)
    for (int ny = y - 1; ny <= y + 1; ++ny)
      if ((nx != x || ny != y) && inField(nx, ny)) setCount(nx, ny, countAt(nx, ny) + 1);
}
inline int64_t liveCells() { return countLiveCells(); }

// --- The simulation -------------------------------------------------------
// The process-start world with the gene table filled and a seeded generator.
inline void freshWorld(uint32_t seed = 1) {
  rules = SimulationParams{};
  resetSimulation();
  seedRandom(seed);
  usePlainPaths = false;
  endContactIndex();
}
inline void runFrames(int frames) {
  for (int i = 0; i < frames; ++i) {
    simulateFrame();
    regulatePopulation();
  }
}
// The simulation's state beyond the tables, field by field, and the random
// generator's: what two runs that must agree leave alike besides the tables.
inline std::vector<unsigned char> simulationStateBytes() {
  std::vector<unsigned char> bytes((const unsigned char*)&randomState, (const unsigned char*)(&randomState + 1));
  forEachStateField([&](const char*, auto member, int64_t, int64_t, const char*) {
    const auto& value = simulation.*member;
    bytes.insert(bytes.end(), (const unsigned char*)&value, (const unsigned char*)(&value + 1));
  });
  return bytes;
}
// Sets stop as a stop signal's handler would, at the end of frame `at`: a
// run polling it stops there.
struct StopAtFrame : SimulationObserver {
  explicit StopAtFrame(int64_t frame) : at(frame) {}
  void frameEnded(int64_t frame) override {
    if (frame == at) stop = SIGTERM;
  }
  int64_t at;
  volatile std::sig_atomic_t stop = 0;
};
inline int aliveCount() {
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u) n += units.status[u] == Alive;
  return n;
}

// A command line: the program's name, then words, as main gets it (the
// pointers point into words, which must outlive them).
inline std::vector<char*> commandLine(const char* program, std::vector<std::string>& words) {
  words.insert(words.begin(), program);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

// --- Files ----------------------------------------------------------------
inline std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void writeFile(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
// The fields of a CSV line, split at every comma (an empty last field kept).
inline std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ',') fields.emplace_back();
    else fields.back().push_back(c);
  }
  return fields;
}
// A CSV file of the runner's: its rows after the header, each split into its
// fields; *header gets the header line.
using CsvRows = std::vector<std::vector<std::string>>;
inline CsvRows readCsv(const std::string& name, std::string* header = nullptr) {
  std::istringstream text(readFile(name));
  std::string line;
  std::getline(text, line);
  if (header) *header = line;
  CsvRows rows;
  while (std::getline(text, line)) rows.push_back(csvFields(line));
  return rows;
}
inline bool fileExists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }

// A new folder of a test's own under /tmp, named from prefix.
inline std::string newTemporaryFolder(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  EXPECT_NE(mkdtemp(&pattern[0]), nullptr) << pattern;
  return pattern;
}

// A fresh folder that is the working directory while the object lives.
struct WorkFolder {
  WorkFolder() {
    char pattern[] = "/tmp/tarn-test-XXXXXX";
    path = mkdtemp(pattern) ? pattern : "";
    EXPECT_TRUE(getcwd(previous, sizeof previous) && chdir(path.c_str()) == 0);
  }
  ~WorkFolder() { EXPECT_TRUE(chdir(previous) == 0 && std::system(("rm -rf '" + path + "'").c_str()) == 0); }
  std::string path;
  char previous[4096];
};

// The SHA-256 of the state file the simulation would save now.
inline std::string stateDigest(const char* name = "digest.sav") {
  std::string hex;
  EXPECT_TRUE(saveState(name) && sha256File(name, &hex));
  std::remove(name);
  return hex;
}

#ifdef TARN_TEST_DRAWING
// --- Drawing --------------------------------------------------------------
#include <allegro.h>

#include <cerrno>

#include "persist/slotfile.h"
#include "selection/selection.h"
#include "ui/input.h"
#include "ui/ui.h"

inline void startAllegroWithoutDisplay() {
  static const bool started = install_allegro(SYSTEM_NONE, &errno, atexit) == 0;
  EXPECT_TRUE(started);
  set_color_depth(32);
}
inline uint32_t rgb(int r, int g, int b) { return (uint32_t)makecol(r, g, b); }
inline uint32_t pixelAt(BITMAP* bmp, int x, int y) { return (uint32_t)getpixel(bmp, x, y); }
inline std::string bitmapDigest(BITMAP* bmp) {
  std::vector<int32_t> pixels;
  for (int y = 0; y < bmp->h; ++y)
    for (int x = 0; x < bmp->w; ++x) pixels.push_back(getpixel(bmp, x, y));
  return sha256Hex(pixels.data(), pixels.size() * sizeof pixels[0]);
}

// Allegro without a display, every table at its start value, a scripted
// mouse and keyboard; bitmaps made with makeBitmap go away with the test.
class DrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startAllegroWithoutDisplay();
    freshWorld();
    hoverSelection.clear(), pickedSelection.clear();
    for (int i = 0; i < kSlotCount; ++i) slotGenomes[i] = Genome{}, slotFileFound[i] = false;
    slotRefreshTimer = activeSlot = paused = buttonCooldown = 0;
    tolerance = 0.0f, graphTimer = 1, tooltipText[0] = '\0', uiFont = font;
    useScriptedInput(&input);
  }
  void TearDown() override {
    useScriptedInput(nullptr);
    for (BITMAP* b : bitmaps) destroy_bitmap(b);
  }
  BITMAP* makeBitmap(int w, int h, uint32_t fill = 0) {
    BITMAP* b = create_bitmap_ex(32, w, h);
    clear_to_color(b, (int)fill);
    bitmaps.push_back(b);
    return b;
  }
  void point(int x, int y, int buttons = 0) { input.mouseX = x, input.mouseY = y, input.mouseB = buttons; }
  ScriptedInput input;
  std::vector<BITMAP*> bitmaps;
};

// A genome whose high genes (strictly above the seed midpoint: the glyph's
// set pixels) are those for which high(k) holds.
template <typename Pred>
Genome genomeWhere(Pred high) {
  Genome g{};
  for (int k = 0; k < kGeneCount; ++k) g[k] = (rules.genes.seedLow[k] + rules.genes.seedHigh[k]) / 2 + (high(k) ? 1 : 0);
  return g;
}
inline void placeUnit(int slot, int x, int y, const Genome& genome) {
  units.status[slot] = Alive;
  units.posX[slot] = x;
  units.posY[slot] = y;
  units.genome[slot] = genome;
}
#endif
