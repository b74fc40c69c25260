// Inputs that once read differently from fscanf, or that the loader fuzz
// targets keep as hostile seeds: each is loaded through loadState or
// loadSlotFile in a fresh directory, and the tables must hold what "%d" and
// "%f" read up to the first value that is not a number of the expected kind
// (out of the 32-bit range, not finite, or no number at all), and their old
// contents from there on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "persist/slotfile.h"
#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

class LoaderRegressions : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-loader-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    initGeneTable();
    resetSimulation();
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string write(const char* name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    if (out) {
      EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), out), text.size());
      std::fclose(out);
    }
    return path;
  }
  std::string dir;
};

// Every value before the energies: "0" lines, then the given float text.
std::string stateFromEnergies(const std::string& tail) {
  std::string text;
  const size_t before = 5 * (size_t)kCellCount + 17 * (size_t)kMaxUnits + (size_t)kMaxUnits * kMemoryLength;
  text.reserve(before * 2 + tail.size());
  for (size_t i = 0; i < before; ++i) text += "0\n";
  return text + tail;
}

// A float text longer than 65,536 characters: "%f" reads its number and
// leaves the rest, however long; the reader used to give up on such a text
// and so stopped one value early.
TEST_F(LoaderRegressions, FloatTextOfAnyLengthReadsAsFscanfReadsIt) {
  for (int u = 0; u < 4; ++u) units.energy[u] = 40.0f + (float)u;
  foodDivisor = 0.75f;
  units.posX[999] = 77;
  editCellGrids().cells[0] = 5;

  // "1xxx...": energy 0 is 1; the letters are no number, so energy 1 on
  // keep what they held.
  ASSERT_TRUE(loadState(write("tail.sav", stateFromEnergies("1" + std::string(70000, 'x') + "\n2\n")).c_str()));
  EXPECT_EQ(editCellGrids().cells[0], 0);
  EXPECT_EQ(units.posX[999], 0);
  EXPECT_EQ(units.energy[0], 1.0f);
  EXPECT_EQ(units.energy[1], 41.0f);
  EXPECT_EQ(foodDivisor, 0.75f);
  EXPECT_EQ(reseeding, 0);

  // 70,000 zeros after the point and a 1: a number too small for a float,
  // read as 0; the next line is read as usual.
  for (int u = 0; u < 4; ++u) units.energy[u] = 40.0f + (float)u;
  ASSERT_TRUE(
      loadState(write("digits.sav", stateFromEnergies("0." + std::string(70000, '0') + "1\n5.5\nnan\n")).c_str()));
  EXPECT_EQ(units.energy[0], 0.0f);
  EXPECT_EQ(units.energy[1], 5.5f);
  EXPECT_EQ(units.energy[2], 42.0f);  // nan stops the load
  EXPECT_EQ(units.energy[3], 43.0f);

  // The number's unread tail is put back even when it is longer than the
  // reader's room for it: "2.5" then 200,000 letters.
  units.energy[0] = 9.0f;
  units.energy[1] = 9.0f;
  ASSERT_TRUE(loadState(write("longtail.sav", stateFromEnergies("2.5" + std::string(200000, 'y'))).c_str()));
  EXPECT_EQ(units.energy[0], 2.5f);
  EXPECT_EQ(units.energy[1], 9.0f);
}

// Integers at and beyond the 32-bit and 64-bit limits, signs, hex and
// white space of every kind, in a state file cut short.
TEST_F(LoaderRegressions, HostileIntegersStopTheStateLoadWhereTheyStand) {
  struct Case {
    const char* name;
    std::string text;
    int read;  // cells read before the load stops
    int32_t values[6];
  } cases[] = {
      {"limits", "2147483647\n-2147483648\n2147483648\n7\n", 2, {2147483647, INT32_MIN}},
      {"below", "-2147483649\n1\n", 0, {}},
      {"beyond64", "5\n-9223372036854775809\n6\n", 1, {5}},
      {"huge", "1\n99999999999999999999999999999999\n2\n", 1, {1}},
      {"signs", "+0\n-0\n+7\n-\n8\n", 3, {0, 0, 7}},
      {"hex", "0x10\n3\n", 1, {0}},  // "%d" reads the 0 and stops at the x
      {"spaces", " 1\t2\r\n3\v4\f5 \r\n", 5, {1, 2, 3, 4, 5}},
      {"nul", std::string("5\0\n6\n", 5), 1, {5}},
      {"leading-zeros", "00000000000000000000000000042\n-0000000000000000000002147483648\n", 2, {42, INT32_MIN}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 8; ++i) editCellGrids().cells[i] = 100 + i;
    ASSERT_TRUE(loadState(write(c.name, c.text).c_str()));
    for (int i = 0; i < c.read; ++i) EXPECT_EQ(editCellGrids().cells[i], c.values[i]) << "cell " << i;
    for (int i = c.read; i < 8; ++i) EXPECT_EQ(editCellGrids().cells[i], 100 + i) << "cell " << i;
  }
}

// The same values in slot files: genes up to the first bad one are loaded,
// the rest keep the Unit's genes, and the rest of a slot load still runs.
TEST_F(LoaderRegressions, HostileIntegersStopTheSlotLoadWhereTheyStand) {
  Genome start{};
  for (int g = 0; g < kGeneCount; ++g) start[g] = 50 + g;
  struct Case {
    const char* name;
    std::string text;
    int read;
    int32_t genes[4];
  } cases[] = {
      {"beyond64", "7\n-9223372036854775809\n8\n", 1, {7}},
      {"huge", "99999999999999999999\n1\n", 0, {}},
      {"signs", "+5\n-0\n-\n6\n", 2, {5, 0}},
      {"limits", "2147483647\r\n-2147483648\r\n2147483648\r\n", 2, {2147483647, INT32_MIN}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetSimulation();
    const int u = spawnUnit(400, 300, start);
    ASSERT_GE(u, 0);
    units.genome[u] = start;
    units.age[u] = 12;
    ASSERT_TRUE(loadSlotFile(write(c.name, c.text).c_str(), u));
    for (int g = 0; g < c.read; ++g) EXPECT_EQ(units.genome[u][g], c.genes[g]) << "gene " << g;
    for (int g = c.read; g < kGeneCount; ++g) EXPECT_EQ(units.genome[u][g], start[g]) << "gene " << g;
    EXPECT_EQ(units.age[u], 0);
    EXPECT_EQ(units.energy[u], (float)units.genome[u][5]);
    EXPECT_GE(units.homeX[u], 10);
    EXPECT_LE(units.homeX[u], 815);
    EXPECT_GE(units.homeY[u], 10);
    EXPECT_LE(units.homeY[u], 515);
  }
}

}  // namespace
