// The records of a run, read from the files an experiment folder gets: every
// arrival and death is counted once (between any two rows, alive now = alive
// before + births + seeded - deaths, through re-seeding and culls), the
// lineage is whole and agrees with the counts, and recording changes nothing
// in the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "persist/statefile.h"
#include "record/experiment.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

constexpr int kFrames = 300;

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::vector<std::string>> readCsv(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readFile(name));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    rows.emplace_back();
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) rows.back().push_back(field);
    if (!line.empty() && line.back() == ',') rows.back().push_back("");
  }
  return rows;
}

// A world that goes through a cull and a re-seeding in a few hundred frames:
// 795 loaded clones, short-lived (gene 35 at its least, 60 ticks), each at
// home and about to breed. Their offspring fill the table in the first
// frame, the cull follows, the clones and their offspring die of age within
// some 70 frames, and re-seeding starts.
void writeCloneWorld(const std::string& name) {
  resetSimulation();
  seedRandom(99);
  Genome g;
  randomGenome(g);
  g[35] = 60;  // lifespan
  g[33] = 80;  // strong mutation: some offspring are unfit
  for (int i = 0; i < 795; ++i) {
    int u = spawnUnit(0, 0, g);
    units.posX[u] = units.homeX[u];
    units.posY[u] = units.homeY[u];
    units.mode[u] = Breed;
    units.stock[u] = 60;
    units.age[u] = randomRange(0, 59);
  }
  foodDivisor = 0.5f;
  ASSERT_TRUE(saveState(name.c_str()));
}

class RecordRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tarn-record-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    initGeneTable();
    writeCloneWorld(dir + "/clones.sav");
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }

  // The recorded experiment on that world, once for all tests.
  static const std::string& experiment() {
    static const std::string out = [] {
      ExperimentOptions o;
      o.seed = 5;
      o.frames = kFrames;
      o.every = 20;
      o.load = dir + "/clones.sav";
      o.out = dir + "/run";
      o.quiet = true;
      static volatile std::sig_atomic_t never = 0;
      resetSimulation();
      EXPECT_EQ(runExperiment(o, &never), kExitDone);
      return o.out;
    }();
    return out;
  }
  static std::string dir;
};
std::string RecordRun::dir;

enum Column { Frame, Living, AliveNow, Level, Divisor, LiveCells, Reseeding, Births, Seeded, FirstDeath };
constexpr int kCauses = 6;  // age, starvation, contest, search, unfit, cull
const char* const kCauseNames[kCauses] = {"age", "starvation", "contest", "search", "unfit", "cull"};

TEST_F(RecordRun, ArrivalsAndDeathsBalanceBetweenEveryTwoRows) {
  auto rows = readCsv(experiment() + "/stats.csv");
  ASSERT_EQ(rows.size(), (size_t)kFrames / 20);
  long alive = 795;  // the loaded Units
  long total[kCauses] = {}, seeded = 0, reseedStarts = 0;
  bool wasReseeding = false;
  for (const auto& r : rows) {
    long deaths = 0;
    for (int c = 0; c < kCauses; ++c) {
      deaths += std::stol(r[FirstDeath + c]);
      total[c] += std::stol(r[FirstDeath + c]);
    }
    EXPECT_EQ(std::stol(r[AliveNow]), alive + std::stol(r[Births]) + std::stol(r[Seeded]) - deaths)
        << "frame " << r[Frame];
    alive = std::stol(r[AliveNow]);
    seeded += std::stol(r[Seeded]);
    reseedStarts += !wasReseeding && r[Reseeding] == "1";
    wasReseeding = r[Reseeding] == "1";
  }
  // The run went through what it is meant to test.
  EXPECT_GE(reseedStarts, 1);
  EXPECT_GT(seeded, 100);
  for (int c : {0, 2, 4, 5}) EXPECT_GT(total[c], 0) << kCauseNames[c];
}

TEST_F(RecordRun, LineageIsWholeAndAgreesWithTheCounts) {
  auto stats = readCsv(experiment() + "/stats.csv");
  auto lineage = readCsv(experiment() + "/phylogeny.csv");
  long arrivals = 795, deaths[kCauses] = {};
  for (const auto& r : stats) {
    arrivals += std::stol(r[Births]) + std::stol(r[Seeded]);
    for (int c = 0; c < kCauses; ++c) deaths[c] += std::stol(r[FirstDeath + c]);
  }
  std::set<long> ids;
  std::map<std::string, long> byCause;
  long living = 0, loaded = 0;
  for (const auto& r : lineage) {
    ASSERT_EQ(r.size(), 7u);
    const long id = std::stol(r[0]);
    EXPECT_TRUE(ids.insert(id).second) << "id " << id << " twice";
    const long origin = std::stol(r[2]);
    if (r[1] == "[NONE]") {
      loaded += origin == 0;
    } else {
      EXPECT_LT(std::stol(r[1].substr(1)), id) << "the parent of " << id << " is not earlier";
      EXPECT_GT(origin, 0);
    }
    if (r[3] == "inf") {
      ++living;
      EXPECT_EQ(r[5], "");
    } else {
      EXPECT_LE(origin, std::stol(r[3]));
      ++byCause[r[5]];
      if (r[5] == "unfit") {
        EXPECT_EQ(origin, std::stol(r[3])) << "an unfit Unit dies in its frame of birth";
      }
    }
    int genes = 0;
    std::istringstream genome(r[6]);
    for (std::string gene; genome >> gene;) ++genes;
    EXPECT_EQ(genes, kGeneCount);
  }
  EXPECT_EQ(loaded, 795);
  EXPECT_EQ((long)lineage.size(), arrivals) << "one row per Unit that lived";
  EXPECT_EQ(*ids.rbegin(), arrivals - 1);
  EXPECT_EQ(living, std::stol(stats.back()[AliveNow]));
  for (int c = 0; c < kCauses; ++c) EXPECT_EQ(byCause[kCauseNames[c]], deaths[c]) << kCauseNames[c];
}

TEST_F(RecordRun, RecordingChangesNothing) {
  const std::string recorded = readFile(experiment() + "/world.sav");
  const uint32_t recordedState = randomState;
  const auto rows = readCsv(experiment() + "/stats.csv");
  // A row of the stats against the world of its frame, counted here again:
  // in the first, the loaded clones still share one genome.
  auto expectRow = [](const std::vector<std::string>& row) {
    std::map<Genome, int> genomes;
    double ages = 0;
    for (int u = 0; u < kMaxUnits; ++u)
      if (units.status[u] == Alive) ++genomes[units.genome[u]], ages += units.age[u];
    int alive = 0, dominant = 0;
    for (const auto& [genome, count] : genomes) alive += count, dominant = std::max(dominant, count);
    SCOPED_TRACE("frame " + row[Frame]);
    ASSERT_GT(alive, 10);
    EXPECT_EQ(std::stol(row[Living]), livingCount);
    EXPECT_EQ(std::stol(row[AliveNow]), alive);
    EXPECT_EQ(std::stoll(row[LiveCells]), countLiveCells());
    EXPECT_EQ(std::stol(row[FirstDeath + kCauses]), (long)genomes.size()) << "genotypes";
    EXPECT_EQ(std::stol(row[FirstDeath + kCauses + 1]), dominant) << "dominant";
    EXPECT_NEAR(std::stod(row[FirstDeath + kCauses + 2]), ages / alive, 0.006) << "mean_age";
  };
  resetSimulation();
  ASSERT_TRUE(loadState((dir + "/clones.sav").c_str()));
  seedRandom(5);
  for (int f = 1; f <= kFrames; ++f) {
    simulateFrame();
    regulatePopulation();
    if (f == 20 || f == kFrames) expectRow(rows[f == 20 ? 0 : rows.size() - 1]);
  }
  EXPECT_EQ(randomState, recordedState) << "the generator was drawn a different number of times";
  ASSERT_TRUE(saveState((dir + "/bare.sav").c_str()));
  EXPECT_TRUE(readFile(dir + "/bare.sav") == recorded);
}

}  // namespace
