// What evolved, read back from an experiment folder: genes.csv against the
// world the run saved, lineages.csv against a plain recount from
// phylogeny.csv by the README's definition, and phylogeny.csv in id order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "persist/statefile.h"
#include "experiment/experiment.h"
#include "analysis/lineages.h"
#include "record/phylogeny.h"
#include "tests/support.h"
#include "units/units.h"
#include "units/params.h"

namespace {

using Table = CsvRows;

class EvolutionRecord : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = newTemporaryFolder("tarn-evolution");
    rules = SimulationParams{};
    ExperimentOptions o;
    o.seed = 7;
    o.frames = 3050;  // the last row is not on the grid of rows
    o.every = 100;
    o.out = dir + "/run";
    o.quiet = true;
    static volatile std::sig_atomic_t never = 0;
    resetSimulation();
    ASSERT_EQ(runExperiment(o, &never), kExitDone);
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }
  static std::string file(const char* name) { return dir + "/run/" + name; }
  static std::string dir;
};
std::string EvolutionRecord::dir;

TEST_F(EvolutionRecord, GenesOfTheLastRowAreThoseOfTheSavedWorld) {
  std::string header;
  const Table genes = readCsv(file("genes.csv"), &header);
  EXPECT_EQ(header, "frame,gene,name,mean,sd,min,max");
  const Table stats = readCsv(file("stats.csv"));
  ASSERT_EQ(genes.size(), stats.size() * kGeneCount) << "36 rows at every stats row";
  resetSimulation();
  ASSERT_TRUE(loadState(file("world.sav").c_str()));
  std::vector<std::vector<double>> values(kGeneCount);
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive)
      for (int g = 0; g < kGeneCount; ++g) values[g].push_back(units.genome[u][g]);
  ASSERT_EQ((long)values[0].size(), std::stol(stats.back()[2]));
  ASSERT_GT(values[0].size(), 100u);
  bool spread = false;
  for (int g = 0; g < kGeneCount; ++g) {
    const std::vector<std::string>& row = genes[genes.size() - kGeneCount + g];
    SCOPED_TRACE(row[2]);
    const std::vector<double>& v = values[g];
    double mean = 0, square = 0;
    for (double x : v) mean += x;
    mean /= (double)v.size();
    for (double x : v) square += (x - mean) * (x - mean);
    char expected[160];
    std::snprintf(expected, sizeof expected, "%s,%d,%s,%f,%f,%.0f,%.0f", stats.back()[0].c_str(), g,
                  kGenes[g].name, mean, std::sqrt(square / (double)v.size()), *std::min_element(v.begin(), v.end()),
                  *std::max_element(v.begin(), v.end()));
    std::string have = row[0];
    for (size_t i = 1; i < row.size(); ++i) have += "," + row[i];
    EXPECT_EQ(have, expected);
    spread |= square > 0;
  }
  EXPECT_TRUE(spread) << "the genes evolved apart";
}

TEST_F(EvolutionRecord, PhylogenyIsInIdOrderWithAncestorsFirst) {
  std::string header;
  const Table rows = readCsv(file("phylogeny.csv"), &header);
  EXPECT_EQ(header + "\n", kPhylogenyHeader);
  ASSERT_GT(rows.size(), 500u);
  std::set<long> seen;
  long inner = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 8u);
    ASSERT_EQ(std::stol(rows[i][0]), (long)i) << "the rows are in id order";
    const std::string& list = rows[i][1];
    EXPECT_EQ(rows[i][7], list == "[NONE]" ? rows[i][0] : list.substr(1, list.size() - 2)) << "ancestor_id";
    if (rows[i][1] != "[NONE]") {
      const long parent = std::stol(rows[i][1].substr(1));
      EXPECT_TRUE(seen.count(parent)) << "the parent of " << i << " comes before it";
      inner += rows[parent][3] == "inf";
    }
    seen.insert((long)i);
  }
  EXPECT_GT(inner, 0) << "Units alive at the end with children: they are sorted among the rest";
  EXPECT_FALSE(std::ifstream(file("phylogeny.csv.rows"))) << "a finished run keeps no unsorted rows";
}

// Sorting in pieces, merged in more than one round, gives the rows in id
// order, each whole.
TEST(PhylogenySort, ManyPiecesMergeIntoIdOrder) {
  char pattern[] = "/tmp/tarn-sort-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::vector<int> ids(2000);
  for (int i = 0; i < 2000; ++i) ids[i] = i;
  std::shuffle(ids.begin(), ids.end(), std::mt19937(3));
  // Every third row without parent; the sorted rows get ancestor_id.
  const auto row = [](int id) {
    return std::to_string(id) + (id % 3 ? ",[" + std::to_string(id / 2) + "]" : ",[NONE]") + ",0,inf,1,," +
           std::to_string(id * 7);
  };
  std::string rows, sorted = kPhylogenyHeader;
  for (int id : ids) rows += row(id) + "\n";
  for (int id = 0; id < 2000; ++id) sorted += row(id) + "," + std::to_string(id % 3 ? id / 2 : id) + "\n";
  std::ofstream(dir + "/rows") << rows;
  std::string error;
  ASSERT_TRUE(sortPhylogeny(dir + "/rows", dir + "/p.csv", &error, 7)) << error;  // 286 pieces
  EXPECT_TRUE(readFile(dir + "/p.csv") == sorted);
  std::ofstream(dir + "/bad") << "3,[NONE]\nno row\n";
  EXPECT_FALSE(sortPhylogeny(dir + "/bad", dir + "/p.csv", &error, 7));
  EXPECT_NE(error.find("holds a line that is no row"), std::string::npos) << error;
  EXPECT_TRUE(readFile(dir + "/p.csv") == sorted) << "a failed sort leaves the target as it was";
  std::remove((dir + "/rows").c_str());
  std::remove((dir + "/bad").c_str());
  std::remove((dir + "/p.csv").c_str());
  EXPECT_EQ(rmdir(dir.c_str()), 0) << "the sorted pieces are all gone";
  std::system(("rm -rf '" + dir + "'").c_str());
}

// A hand-made tree: Unit 0 has two children with ten children each, all
// alive. The three are major lineages, and Unit 0, whose id is 0, is the
// parent lineage of the other two.
TEST(Lineages, TheFirstUnitIsAParentLineageLikeAnyOther) {
  WorkFolder work;
  std::string tree = kPhylogenyHeader;
  tree += "0,[NONE],0,inf,0,,g,0\n1,[0],0,inf,1,,g,0\n2,[0],0,inf,2,,g,0\n";
  for (int id = 3; id < 23; ++id) tree += std::to_string(id) + (id < 13 ? ",[1]" : ",[2]") + ",0,inf,3,,g,0\n";
  writeFile("phylogeny.csv", tree);
  writeFile("stats.csv", "frame,living,alive\n1,23,23\n");
  std::string error;
  ASSERT_TRUE(writeLineages("stats.csv", "phylogeny.csv", "lineages.csv", &error)) << error;
  EXPECT_EQ(readFile("lineages.csv"), "frame,lineage,parent,alive\n1,0,,1\n1,1,0,11\n1,2,0,11\n");
  const std::vector<LineageSummary> major = majorLineages(".", &error);
  ASSERT_EQ(major.size(), 3u) << error;
  EXPECT_EQ(std::make_tuple(major[0].founder, major[0].parent, major[2].founder, major[2].parent),
            std::make_tuple(1, 0, 0, -1));
  writeFile("lineages.csv", readFile("lineages.csv") + "1,2,0\n");
  EXPECT_TRUE(majorLineages(".", &error).empty() && error == "./lineages.csv: line 5 is no lineage row") << error;
  writeFile("stats.csv", "frame,living,alive\n1,23,23\n2,23,x\n");
  EXPECT_FALSE(writeLineages("stats.csv", "phylogeny.csv", "lineages.csv", &error));
  EXPECT_EQ(error, "stats.csv: line 3 is no stats row");
}

// The lineages recounted plainly: every Unit's descent counted at every
// row by walking up from each Unit alive.
TEST_F(EvolutionRecord, LineagesAddUpAndAgreeWithARecount) {
  const Table tree = readCsv(file("phylogeny.csv"));
  std::vector<long> parent, origin, death;
  for (const auto& r : tree) {
    parent.push_back(r[1] == "[NONE]" ? -1 : std::stol(r[1].substr(1)));
    origin.push_back(std::stol(r[2]));
    death.push_back(r[3] == "inf" ? -1 : std::stol(r[3]));
  }
  auto aliveAt = [&](long frame) {
    std::vector<long> alive;
    for (size_t id = 0; id < origin.size(); ++id)
      if (origin[id] <= frame && (death[id] < 0 || death[id] > frame)) alive.push_back((long)id);
    return alive;
  };
  const Table stats = readCsv(file("stats.csv"));
  std::set<long> major;
  for (const auto& s : stats) {
    const std::vector<long> alive = aliveAt(std::stol(s[0]));
    ASSERT_EQ((long)alive.size(), std::stol(s[2])) << "frame " << s[0];
    std::map<long, long> descent;
    for (long a : alive)
      for (long x = a; x >= 0; x = parent[x]) ++descent[x];
    for (const auto& [x, n] : descent)
      if (n >= kMajorMinimum && n * 100 >= (long)alive.size() * kMajorSharePercent) major.insert(x);
  }
  std::map<long, int> founderChildren;
  for (long x : major)
    if (parent[x] >= 0) ++founderChildren[parent[x]];
  std::set<long> kept;
  for (long x : major)
    if (founderChildren[x] != 1) kept.insert(x);
  auto lineageOf = [&](long x) {
    for (; x >= 0; x = parent[x])
      if (kept.count(x)) return x;
    return -1L;
  };
  std::map<std::pair<long, long>, long> expected;  // (frame, lineage) -> Units; lineage -1: none
  for (const auto& s : stats)
    for (long a : aliveAt(std::stol(s[0]))) ++expected[{std::stol(s[0]), lineageOf(a)}];

  std::string header;
  const Table lineages = readCsv(file("lineages.csv"), &header);
  EXPECT_EQ(header, "frame,lineage,parent,alive");
  std::map<std::pair<long, long>, long> have;
  std::map<long, long> sums;
  for (const auto& r : lineages) {
    ASSERT_EQ(r.size(), 4u);
    const long frame = std::stol(r[0]), lineage = r[1].empty() ? -1 : std::stol(r[1]);
    have[{frame, lineage}] = std::stol(r[3]);
    sums[frame] += std::stol(r[3]);
    const long up = lineage < 0 ? -1 : lineageOf(parent[lineage]);
    EXPECT_EQ(r[2], up < 0 ? "" : std::to_string(up)) << "the parent of lineage " << lineage;
  }
  EXPECT_EQ(have, expected);
  for (const auto& s : stats) EXPECT_EQ(sums[std::stol(s[0])], std::stol(s[2])) << "frame " << s[0];
  EXPECT_GE(kept.size(), 3u) << "the run had lineages to find";
}

}  // namespace
