// State and slot files: the exact text written, what a load reads back, how
// a load treats damaged files, and that a failed save keeps the old file.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "persist/notice.h"
#include "persist/slotfile.h"
#include "persist/statefile.h"
#include "persist/textio.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

std::vector<std::string> notices;
void recordNotice(const char* text) { notices.push_back(text); }

class PersistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-persist-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    notices.clear();
    fileNoticeHook = recordNotice;
    initGeneTable();
    resetSimulation();
  }
  void TearDown() override {
    fileNoticeHook = nullptr;
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string path(const char* name) const { return dir + "/" + name; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
    return names;
  }
  std::string dir;
};

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary);
  out << text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// Every stored value of the simulation, as one flat list of ints (floats by
// their bits), in file order.
std::vector<int64_t> snapshot() {
  std::vector<int64_t> v;
  for (const int32_t* grid : {editCellGrids().cells, editCellGrids().nextCells, editCellGrids().neighbourCounts, editCellGrids().claimMarks, editCellGrids().skipRuns})
    v.insert(v.end(), grid, grid + kCellCount);
  for (const int32_t* block :
       {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX, units.awayY,
        units.mode, units.searchRadius, units.sowTimer, units.status, units.age, units.stock, units.paceCounter,
        units.spareA, units.spareB})
    v.insert(v.end(), block, block + kMaxUnits);
  v.insert(v.end(), &units.memory[0][0], &units.memory[0][0] + kMaxUnits * kMemoryLength);
  auto bits = [](float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return (int64_t)b;
  };
  for (float e : units.energy) v.push_back(bits(e));
  v.push_back(bits(foodDivisor));
  for (const Genome& g : units.genome) v.insert(v.end(), g.begin(), g.end());
  return v;
}

// Fills every stored value with something random, floats on the six-decimal
// grid so they read back exactly.
void scramble(uint32_t seed) {
  uint64_t s = seed * 2654435761u + 1;
  auto next = [&]() -> int32_t {
    s = s * 6364136223846793005u + 1442695040888963407u;
    return (int32_t)(s >> 32);
  };
  for (int32_t* grid : {editCellGrids().cells, editCellGrids().nextCells, editCellGrids().neighbourCounts, editCellGrids().claimMarks, editCellGrids().skipRuns})
    for (int i = 0; i < kCellCount; ++i) grid[i] = next() % 9;
  int32_t* blocks[] = {units.posX,  units.posY,         units.targetX,  units.targetY, units.homeX, units.homeY,
                       units.awayX, units.awayY,        units.mode,     units.searchRadius, units.sowTimer,
                       units.status, units.age,         units.stock,    units.paceCounter, units.spareA,
                       units.spareB};
  for (int32_t* block : blocks)
    for (int u = 0; u < kMaxUnits; ++u) block[u] = next();
  for (auto& row : units.memory)
    for (int32_t& m : row) m = next();
  for (float& e : units.energy) e = (float)(next() % 100000) / 64.0f;
  foodDivisor = 1.25f;
  for (Genome& g : units.genome)
    for (int32_t& gene : g) gene = next();
}

}  // namespace

TEST(NumberText, MatchesPrintfForEveryKindOfValue) {
  char fast[64], slow[64];
  auto checkInt = [&](int32_t v) {
    *formatInt(fast, v) = 0;
    std::snprintf(slow, sizeof slow, "%d", v);
    ASSERT_STREQ(fast, slow) << v;
  };
  for (int32_t v : {0, 1, -1, 9, 10, -10, 99999, INT32_MAX, INT32_MIN, INT32_MIN + 1}) checkInt(v);

  auto checkFloat = [&](float v) {
    *formatFloat(fast, v) = 0;
    std::snprintf(slow, sizeof slow, "%f", (double)v);
    ASSERT_STREQ(fast, slow) << "bits of " << v;
  };
  for (float v : {0.0f, -0.0f, 0.5f, 0.55f, 1e-7f, -1e-7f, 4.9999e-7f, 5e-7f, 1.5e-6f, 2.5e-6f, 123.4567f,
                  4294967040.0f, 4294967296.0f, 3.4028235e38f, -3.4028235e38f, 1e-45f, INFINITY, -INFINITY, NAN})
    checkFloat(v);
  // Random bit patterns across the whole range, and values near the rounding
  // boundaries of the six decimals.
  uint32_t s = 12345;
  for (int i = 0; i < 300000; ++i) {
    s = s * 1664525u + 1013904223u;
    float v;
    std::memcpy(&v, &s, sizeof v);
    checkFloat(v);
    checkFloat((float)((s % 2000000) - 1000000) / 1e6f + (float)(s % 7) * 0.0000005f);
  }
}

TEST_F(PersistTest, SaveThenLoadRestoresEveryStoredValue) {
  scramble(7);
  std::vector<int64_t> before = snapshot();
  ASSERT_TRUE(saveState(path("world.sav").c_str()));
  EXPECT_EQ(notices, std::vector<std::string>{"Saving..."});
  resetSimulation();
  reseeding = 1;
  ASSERT_TRUE(loadState(path("world.sav").c_str()));
  EXPECT_EQ(notices.back(), "Loading...");
  EXPECT_EQ(reseeding, 0);
  EXPECT_TRUE(snapshot() == before);
  EXPECT_EQ(lines(readFile(path("world.sav"))).size(), (size_t)kStateFileLines);
  EXPECT_EQ(entries(), std::vector<std::string>{"world.sav"});  // no temporary file left
}

TEST_F(PersistTest, FreshWorldWritesTheStartValuesLineByLine) {
  units.energy[3] = 4e-7f;
  units.energy[4] = -4e-7f;
  units.energy[5] = 12.345678f;
  foodDivisor = 0.5f;
  raiseFoodDivisor();
  ASSERT_TRUE(saveState(path("tarn.sav").c_str()));
  std::vector<std::string> l = lines(readFile(path("tarn.sav")));
  ASSERT_EQ(l.size(), (size_t)kStateFileLines);
  auto line = [&](int64_t n) { return l[(size_t)(n - 1)]; };  // lines count from 1
  EXPECT_EQ(line(2176626), "0");   // status of slot 0: Free
  EXPECT_EQ(line(2181626), "300");  // spareB of slot 0
  EXPECT_EQ(line(2181627), "0");
  EXPECT_EQ(line(2182626), "-1");  // first memory entry
  EXPECT_EQ(line(2212626), "0.000000");
  EXPECT_EQ(line(2212629), "0.000000");
  EXPECT_EQ(line(2212630), "-0.000000");
  EXPECT_EQ(line(2212631), "12.345678");
  EXPECT_EQ(line(2213626), "0.550000");
  EXPECT_EQ(line(2249626), "0");
  // A tiny energy reads back as zero.
  units.energy[3] = 99.0f;
  ASSERT_TRUE(loadState(path("tarn.sav").c_str()));
  EXPECT_EQ(units.energy[3], 0.0f);
  EXPECT_EQ(units.energy[5], 12.345678f);
}

TEST_F(PersistTest, MissingFileChangesNothing) {
  reseeding = 1;
  units.posX[0] = 5;
  EXPECT_FALSE(loadState(path("usersaved.sav").c_str()));
  EXPECT_EQ(reseeding, 1);
  EXPECT_EQ(units.posX[0], 5);
  EXPECT_TRUE(notices.empty());
  EXPECT_FALSE(loadState(dir.c_str()));  // a directory reads as no file
  EXPECT_TRUE(notices.empty());
}

TEST_F(PersistTest, LoadStopsAtTheFirstBadValueAndKeepsTheRest) {
  scramble(3);
  ASSERT_TRUE(saveState(path("good.sav").c_str()));
  std::vector<int64_t> saved = snapshot();
  std::vector<std::string> l = lines(readFile(path("good.sav")));

  auto loadWith = [&](size_t keepLines, const std::string& tail) {
    std::string text;
    for (size_t i = 0; i < keepLines; ++i) text += l[i] + "\r\n";  // CR LF reads too
    writeFile(path("bad.sav"), text + tail);
    resetSimulation();
    reseeding = 1;
    scramble(99);  // what the tables held before the load
    std::vector<int64_t> before = snapshot();
    EXPECT_TRUE(loadState(path("bad.sav").c_str()));
    EXPECT_EQ(reseeding, 0);
    std::vector<int64_t> after = snapshot();
    // Values before the stop come from the file, the rest keep what they held.
    return std::make_pair(after, before);
  };

  // Only the five grids: the cell field loads, units and foodDivisor stay.
  auto [gridsOnly, before1] = loadWith(5 * (size_t)kCellCount, "");
  for (size_t i = 0; i < gridsOnly.size(); ++i) {
    int64_t expected = i < 5 * (size_t)kCellCount ? saved[i] : before1[i];
    ASSERT_EQ(gridsOnly[i], expected) << "value " << i;
  }
  EXPECT_EQ(foodDivisor, 1.25f);

  // Hostile values: out of range, not a number, non-finite float.
  for (std::string bad : {"2147483648\n", "-2147483649\n", "99999999999999999999\n", "x\n", "-\n", "1.5\n"}) {
    auto [after, before] = loadWith(1000, bad + "7\n");
    // "1.5" reads as 1, then ".5" stops the load.
    size_t stop = bad == "1.5\n" ? 1001 : 1000;
    for (size_t i = 995; i < 1010; ++i) ASSERT_EQ(after[i], i < stop ? (i < 1000 ? saved[i] : 1) : before[i]) << bad;
  }
  const size_t energyLine = 2212625;  // lines before the energy block
  for (std::string bad : {"nan\n", "inf\n", "-infinity\n", "1e39\n", "abc\n", ".\n"}) {
    auto [after, before] = loadWith(energyLine, bad + "1.0\n");
    for (size_t i = energyLine - 2; i < energyLine + 3; ++i)
      ASSERT_EQ(after[i], i < energyLine ? saved[i] : before[i]) << bad;
  }
  loadWith(energyLine, "  +2.5e1\t\v\f-0x1p-2 ");
  EXPECT_EQ(units.energy[0], 25.0f);
  EXPECT_EQ(units.energy[1], -0.25f);
}

TEST_F(PersistTest, FailedSavesKeepThePreviousFile) {
  scramble(1);
  ASSERT_TRUE(saveState(path("keep.sav").c_str()));
  std::string good = readFile(path("keep.sav"));
  scramble(2);
  // The target is a directory; its folder does not exist.
  ASSERT_EQ(mkdir(path("adir").c_str(), 0755), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(saveState(path("adir").c_str()));
  EXPECT_FALSE(saveState(path("nowhere/keep.sav").c_str()));
  EXPECT_FALSE(saveSlotFile(path("nowhere/sample0.dna").c_str(), 0));
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("adir"), std::string::npos);
  EXPECT_NE(errors.find("nowhere/keep.sav"), std::string::npos);
  EXPECT_EQ(readFile(path("keep.sav")), good);
  std::vector<std::string> names = entries();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"adir", "keep.sav"}));
}

TEST_F(PersistTest, SlotFilesCarryGenomesIntoUnits) {
  std::string name = path("sample2.dna");
  for (int g = 0; g < kGeneCount; ++g) units.genome[4][g] = g * 1000 - 7;
  units.genome[4][0] = INT32_MIN;
  ASSERT_TRUE(saveSlotFile(name.c_str(), 4));
  std::vector<std::string> l = lines(readFile(name));
  ASSERT_EQ(l.size(), 36u);
  EXPECT_EQ(l[0], "-2147483648");
  EXPECT_EQ(l[35], "34993");

  // Loading sets the genes and resets age, spareA, energy and the anchors.
  std::string text;
  for (int g = 0; g < kGeneCount; ++g) text += std::to_string(g == 0 ? 200 : g + 1) + "\n";
  writeFile(name, text);
  units.status[9] = Alive;
  units.posX[9] = 17;
  units.age[9] = 50;
  units.spareA[9] = 3;
  notices.clear();
  ASSERT_TRUE(loadSlotFile(name.c_str(), 9));
  EXPECT_EQ(notices, std::vector<std::string>{"Loading..."});
  EXPECT_EQ(units.genome[9][0], 200);
  EXPECT_EQ(units.genome[9][35], 36);
  EXPECT_EQ(units.age[9], 0);
  EXPECT_EQ(units.spareA[9], 0);
  EXPECT_EQ(units.energy[9], 6.0f);  // gene 5
  EXPECT_EQ(units.homeX[9], 815);
  EXPECT_EQ(units.posX[9], 17);
  EXPECT_EQ(units.status[9], Alive);

  // A damaged file: the genes after the bad line keep their values, the
  // rest of the load still runs.
  writeFile(name, "5\n6\n99999999999\n1\n");
  units.age[9] = 8;
  ASSERT_TRUE(loadSlotFile(name.c_str(), 9));
  EXPECT_EQ(units.genome[9][0], 5);
  EXPECT_EQ(units.genome[9][1], 6);
  EXPECT_EQ(units.genome[9][2], 3);
  EXPECT_EQ(units.age[9], 0);

  notices.clear();
  EXPECT_FALSE(loadSlotFile(path("sample6.dna").c_str(), 9));
  EXPECT_TRUE(notices.empty());
}

TEST_F(PersistTest, RefreshReadsSlotFilesFromTheWorkingDirectory) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  writeFile("sample4.dna", "1\n2\n3\n");
  slotGenomes[4].fill(-5);
  EXPECT_TRUE(refreshSlotGenomes(4));
  EXPECT_EQ(slotGenomes[4][2], 3);
  EXPECT_EQ(slotGenomes[4][3], -5);
  unlink("sample4.dna");
  EXPECT_FALSE(refreshSlotGenomes(4));
  EXPECT_EQ(slotGenomes[4][0], 1);
  EXPECT_FALSE(refreshSlotGenomes(7));
  ASSERT_EQ(chdir(cwd), 0);
}
