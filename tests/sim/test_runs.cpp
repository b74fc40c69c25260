// Whole runs pinned by the SHA-256 of the state file they end with. The
// simulation's behaviour is fixed: any change to the Life step, the genome
// operations, a Unit's life, the regulation or the state file's text shows
// here. A failure names the run and how its world differs in a few figures.
#include <cstring>
#include <vector>

#include "tests/support.h"

namespace {

// What the observer hooks saw: seeded Units, culled and starved ones.
int seeded, culled, starved;

struct Outcome {
  std::string digest;
  int alive;
  int64_t live;
  int level;
};

Outcome outcome() { return {stateDigest(), aliveCount(), liveCells(), evolutionLevel()}; }

void expectOutcome(const char* run, const Outcome& got, const Outcome& want) {
  EXPECT_EQ(got.digest, want.digest) << run << ": " << got.alive << " Units alive (recorded " << want.alive << "), "
                                     << got.live << " live cells (" << want.live << "), level " << got.level << " ("
                                     << want.level << "); so far " << seeded << " seeded, " << culled << " culled, "
                                     << starved << " starved";
}

// Saves the crafted world, starts a new process's tables and loads it back,
// as a run from a file does (the load also clears re-seeding).
Outcome reload() {
  Outcome start = outcome();
  EXPECT_TRUE(saveState("start.sav"));
  resetSimulation();
  EXPECT_TRUE(loadState("start.sav"));
  std::remove("start.sav");
  seeded = culled = starved = 0;
  return start;
}

// A few hundred Units of random genomes anywhere in the field.
void addRandomUnits(int count) {
  for (int k = 0; k < count; ++k) {
    Genome g;
    randomGenome(g);
    spawnUnit(randomRange(10, 814), randomRange(10, 514), g);
  }
}

// Values no run produces: Units far outside the field and at the limits of
// the coordinates, huge or negative reaches and radii, unknown modes, cell
// states and counts of any kind, extreme energies.
void makeHostile() {
  uint32_t s = 5;
  auto next = [&s] { return s = s * 1664525u + 1013904223u; };
  for (int u = 0; u < kMaxUnits; u += 7) {
    units.status[u] = Alive;
    units.posX[u] = (int32_t)(next() % 3 == 0 ? next() : next() % 900) - 40;
    units.posY[u] = (int32_t)(next() % 600) - 40;
    units.genome[u][19] = (int32_t)(next() % 5 == 0 ? next() : next() % 400);
    units.genome[u][12] = (int32_t)next();
    units.searchRadius[u] = (int32_t)next();
    units.mode[u] = (int32_t)(next() % 7) - 1;
    units.energy[u] = (float)(next() % 5000) - 100.0f;
  }
  const int32_t limits[][2] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {0, INT32_MAX}, {INT32_MIN, 0},
                               {INT32_MAX, INT32_MAX}};
  for (int k = 0; k < 5; ++k) {
    units.status[1 + k] = Alive;
    units.posX[1 + k] = limits[k][0];
    units.posY[1 + k] = limits[k][1];
    units.genome[1 + k][19] = k % 2 ? INT32_MAX : INT32_MIN;
    units.genome[1 + k][12] = k % 2 ? INT32_MIN : INT32_MAX;
    units.energy[1 + k] = k % 2 ? 3.0e38f : -3.0e38f;
  }
  for (int x = 0; x < kWorldWidth; x += 3)
    for (int y = x % 7; y < kWorldHeight; y += 11) {
      setCell(x, y, (int32_t)(next() % 12) - 2);
      setCount(x, y, (int32_t)(next() % 9) - 3);
    }
}

class Runs : public ::testing::Test {
 protected:
  void SetUp() override {
    seeded = culled = starved = 0;
    unitArrivedHook = [](int, Arrival how, int) { seeded += how == Arrival::Seeded; };
    unitDiedHook = [](int, DeathCause cause) {
      culled += cause == DeathCause::Cull;
      starved += cause == DeathCause::Starvation;
    };
  }
  void TearDown() override { unitArrivedHook = nullptr, unitDiedHook = nullptr; }
  WorkFolder folder;
};

}  // namespace

TEST_F(Runs, FromAnEmptyWorld) {
  // One Unit a frame until above 100, then the world on its own.
  freshWorld(1);
  runFrames(700);
  const Outcome end = outcome();
  expectOutcome("empty world, seed 1, 700 frames", end,
                {"4e0d7a06d0cb22df4a54f2413b764bde614813853652315ba34d2a85a6056196", 45, 14543, 1});
  EXPECT_GT(seeded, 100);
  // Loaded into fresh tables and saved again, the world is the same file.
  ASSERT_TRUE(saveState("end.sav"));
  resetSimulation();
  ASSERT_TRUE(loadState("end.sav"));
  EXPECT_EQ(stateDigest(), end.digest);
}

TEST_F(Runs, CrowdedWorldIsCulled) {
  // Above 800 Units the first count culls; the level has been raised three
  // times by hand (the space bar) and once by the cull.
  freshWorld(2);
  runFrames(150);
  addRandomUnits(800);
  for (int u = 0; u < kMaxUnits; ++u) units.genome[u][12] = 1000;  // all kin: no contests thin them first
  for (int k = 0; k < 3; ++k) raiseFoodDivisor();
  expectOutcome("crowded world as saved", reload(),
                {"7d8a4b32044aaa7624918205bc8b54c598a4de6987f495aa093e2c72abad2968", 888, 5633, 4});
  runFrames(400);
  expectOutcome("crowded world, seed 2, 400 frames", outcome(),
                {"bd593b901b1a3736e07bc4285aa6c73cab877c4df0fac6d0fe61f1abcf8fcfd8", 83, 2702, 4});
  EXPECT_GT(culled, 700);
}

TEST_F(Runs, DyingWorldIsReseeded) {
  // Six old Units in a loaded world: they die, and at 4 the survivors' energy
  // is reset from a genome drawn for the purpose before re-seeding starts.
  freshWorld(3);
  runFrames(150);
  int kept = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && kept++ < 6)
      units.age[u] = units.genome[u][35] - 4 * kept;
    else
      units.status[u] = u % 2 ? Dead : Free;
  expectOutcome("dying world as saved", reload(),
                {"25e50770c3ed167b385b1a8c35aa42984049d3d01a9e83c4c9f6ba9e19b77521", 6, 6221, 1});
  runFrames(300);
  expectOutcome("dying world, seed 3, 300 frames", outcome(),
                {"df355fd1abd623623a569818d8685c1aad5f321d3b2650fcd52f3b82f40656cf", 99, 18860, 1});
  EXPECT_GT(seeded, 100);
}

TEST_F(Runs, HostileWorld) {
  freshWorld(4);
  runFrames(100);
  makeHostile();
  expectOutcome("hostile world as saved", reload(),
                {"b4699a881adfa74849790d46be78641650519795a0be7a34ac68017b6076e16c", 198, 5008, 1});
  runFrames(300);
  expectOutcome("hostile world, seed 4, 300 frames", outcome(),
                {"33339d510e09cfbd41032e8202ace8669f789524e2b2d1c9192d4be57d4114b1", 62, 13568, 1});
}

TEST(GenomeOperations, RandomGenomesMutationsAndClampsKeepTheirRecord) {
  // Every bound, seed range and mutation step of the gene table acts on
  // some value here: random genomes, offspring mutated at several
  // strengths (with the viability verdict), and every gene clamped from
  // values around and beyond its bounds.
  initGeneTable();
  resetUnitTable();
  seedRandom(9);
  std::vector<int32_t> record;
  for (int k = 0; k < 300; ++k) {
    randomGenome(units.genome[0]);
    record.insert(record.end(), units.genome[0].begin(), units.genome[0].end());
    for (float factor : {0.34f, 1.0f, 2.5f, 10.0f}) {
      units.genome[1] = units.genome[0];
      units.status[1] = Alive;
      computeHomeAnchor(1);
      computeAwayAnchor(1);
      mutateGenome(1, factor);
      record.insert(record.end(), units.genome[1].begin(), units.genome[1].end());
      record.push_back(units.status[1]);
    }
  }
  for (int g = 0; g < kGeneCount; ++g)
    for (int32_t v : {INT32_MIN, geneMin[g] - 1, geneMin[g], geneMax[g], geneMax[g] + 1, INT32_MAX}) {
      units.genome[2][g] = v;
      mutateGene(2, g, 0);
      record.push_back(units.genome[2][g]);
    }
  EXPECT_EQ(sha256Hex(record.data(), record.size() * sizeof record[0]),
            "f176d1773fc97ff9b30e9893fbff311654f0c5e5dfd9e999c8e63c9543610a5d");
}
