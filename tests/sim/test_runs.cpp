// Whole runs pinned by the SHA-256 of the state file they end with. The
// simulation's behaviour is fixed: any change to the Life step, the genome
// operations, a Unit's life, the regulation or the state file's text shows
// here. A failure names the run and how its world differs in a few figures.
#include <vector>

#include "tests/support.h"

namespace {

// Watches the runs as the runner's records do. Besides counting, it checks
// the frame numbers the simulation gives: each arrival and death happens in
// the frame that ends next, and the frames end one after another.
struct Watcher : SimulationObserver {
  int seeded = 0, culled = 0;
  int64_t ended = 0;  // the last frame told ended
  int misnumbered = 0;
  void arrived(int slot, Arrival how, int parent) override {
    seeded += how == Arrival::Seeded;
    misnumbered += runningFrame() != ended + 1 || units.status[slot] != Alive ||
                   (how == Arrival::Birth) != (parent >= 0);
  }
  void died(int slot, DeathCause cause) override {
    culled += cause == DeathCause::Cull;
    misnumbered += runningFrame() != ended + 1 || units.status[slot] != Dead;
  }
  void frameEnded(int64_t frame) override { misnumbered += frame != ended + 1, ended = frame; }
} watch;
int& seeded = watch.seeded;
int& culled = watch.culled;

struct Outcome {
  std::string digest;
  int alive;
  int64_t live;
  int level;
};
Outcome outcome() { return {stateDigest(), aliveCount(), liveCells(), evolutionLevel()}; }

void crowd() {  // 800 more Units of random genomes, all kin; the level raised three times
  for (int k = 0; k < 800; ++k) {
    Genome g;
    randomGenome(g, rules.genes);
    spawnUnit(randomRange(10, 814), randomRange(10, 514), g);
  }
  for (int u = 0; u < kMaxUnits; ++u) units.genome[u][12] = 1000;
  for (int k = 0; k < 3; ++k) raiseFoodDivisor();
}
void age() {  // six old Units and nobody else
  for (int u = 0, kept = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && kept++ < 6)
      units.age[u] = units.genome[u][35] - 4 * kept;
    else
      units.status[u] = u % 2 ? Dead : Free;
}
// Values no run produces: Units far outside the field and at the limits of
// the coordinates, huge or negative reaches and radii, unknown modes, cell
// states and counts of any kind, extreme energies.
void hostile() {
  uint32_t s = 5;
  auto next = [&s] { return s = s * 1664525u + 1013904223u; };
  for (int u = 0; u < kMaxUnits; u += 7) {
    units.status[u] = Alive;
    units.posX[u] = (int32_t)(next() % 3 == 0 ? next() : next() % 900) - 40;
    units.posY[u] = (int32_t)(next() % 600) - 40;
    units.genome[u][19] = (int32_t)(next() % 5 == 0 ? next() : next() % 400);
    units.genome[u][12] = (int32_t)next(), units.searchRadius[u] = (int32_t)next();
    units.mode[u] = (int32_t)(next() % 7) - 1, units.energy[u] = (float)(next() % 5000) - 100.0f;
  }
  const int32_t limits[][2] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {0, INT32_MAX}, {INT32_MIN, 0},
                               {INT32_MAX, INT32_MAX}};
  for (int k = 0; k < 5; ++k) {
    units.status[1 + k] = Alive;
    units.posX[1 + k] = limits[k][0], units.posY[1 + k] = limits[k][1];
    units.genome[1 + k][19] = k % 2 ? INT32_MAX : INT32_MIN, units.genome[1 + k][12] = k % 2 ? INT32_MIN : INT32_MAX;
    units.energy[1 + k] = k % 2 ? 3.0e38f : -3.0e38f;
  }
  for (int x = 0; x < kWorldWidth; x += 3)
    for (int y = x % 7; y < kWorldHeight; y += 11) {
      setCell(x, y, (int32_t)(next() % 12) - 2);
      setCount(x, y, (int32_t)(next() % 9) - 3);
    }
}

struct WorldRun {
  const char* name;
  uint32_t seed;
  int before;       // frames from an empty world before the crafting
  void (*craft)();  // then saved and loaded as a run from a file; none: the process start
  int frames;
  Outcome start, end;
  int minSeeded, minCulled;  // what the run must go through
};
const WorldRun kRuns[] = {
    {"empty world", 1, 0, nullptr, 700, {},
     {"4e0d7a06d0cb22df4a54f2413b764bde614813853652315ba34d2a85a6056196", 45, 14543, 1}, 101, 0},
    {"crowded world (culled at once)", 2, 150, crowd, 400,
     {"7d8a4b32044aaa7624918205bc8b54c598a4de6987f495aa093e2c72abad2968", 888, 5633, 4},
     {"bd593b901b1a3736e07bc4285aa6c73cab877c4df0fac6d0fe61f1abcf8fcfd8", 83, 2702, 4}, 0, 700},
    {"dying world (re-seeded; the survivors' energy from a fresh genome)", 3, 150, age, 300,
     {"25e50770c3ed167b385b1a8c35aa42984049d3d01a9e83c4c9f6ba9e19b77521", 6, 6221, 1},
     {"df355fd1abd623623a569818d8685c1aad5f321d3b2650fcd52f3b82f40656cf", 99, 18860, 1}, 100, 0},
    {"hostile world", 4, 100, hostile, 300,
     {"b4699a881adfa74849790d46be78641650519795a0be7a34ac68017b6076e16c", 198, 5008, 1},
     {"33339d510e09cfbd41032e8202ace8669f789524e2b2d1c9192d4be57d4114b1", 62, 13568, 1}, 0, 0},
};

void expectOutcome(const std::string& what, const Outcome& want) {
  const Outcome got = outcome();
  EXPECT_EQ(got.digest, want.digest) << what << ": " << got.alive << " Units alive (recorded " << want.alive << "), "
                                     << got.live << " live cells (" << want.live << "), level " << got.level << " ("
                                     << want.level << "); " << seeded << " seeded, " << culled << " culled";
}

}  // namespace

TEST(Runs, KeepTheirRecordedStateFiles) {
  WorkFolder folder;
  subscribe(&watch);
  for (const WorldRun& run : kRuns) {
    freshWorld(run.seed);
    watch.ended = 0;
    runFrames(run.before);
    if (run.craft) {
      run.craft();
      expectOutcome(std::string(run.name) + " as saved", run.start);
      ASSERT_TRUE(saveState("start.sav"));
      resetSimulation();
      ASSERT_TRUE(loadState("start.sav"));
      continueFrameCount(watch.ended);  // a reset starts the count again
    }
    seeded = culled = 0;
    runFrames(run.frames);
    EXPECT_EQ(watch.ended, run.before + run.frames) << run.name;
    expectOutcome(std::string(run.name) + ", seed " + std::to_string(run.seed), run.end);
    EXPECT_GE(seeded, run.minSeeded) << run.name;
    EXPECT_GE(culled, run.minCulled) << run.name;
    // Loaded into fresh tables and saved again, the world is the same file.
    ASSERT_TRUE(saveState("end.sav"));
    resetSimulation();
    ASSERT_TRUE(loadState("end.sav"));
    EXPECT_EQ(stateDigest(), run.end.digest) << run.name << ", loaded and saved again";
  }
  unsubscribe(&watch);
  EXPECT_EQ(watch.misnumbered, 0);
}

TEST(GenomeOperations, RandomGenomesMutationsAndClampsKeepTheirRecord) {
  // Every bound, seed range and mutation step of the gene table acts here:
  // random genomes, offspring mutated at several strengths (with the
  // viability verdict), every gene clamped from around and beyond its bounds.
  rules = SimulationParams{};
  resetUnitTable();
  seedRandom(9);
  std::vector<int32_t> record;
  for (int k = 0; k < 300; ++k) {
    randomGenome(units.genome[0], rules.genes);
    record.insert(record.end(), units.genome[0].begin(), units.genome[0].end());
    for (float factor : {0.34f, 1.0f, 2.5f, 10.0f, -1.0f}) {  // negative: a gene 33 from a file
      units.genome[1] = units.genome[0];
      units.status[1] = Alive;
      computeHomeAnchor(1), computeAwayAnchor(1);
      mutateNewborn(1, factor);
      record.insert(record.end(), units.genome[1].begin(), units.genome[1].end());
      record.push_back(units.status[1]);
    }
  }
  for (int g = 0; g < kGeneCount; ++g)
    for (int32_t v : {INT32_MIN, rules.genes.min[g] - 1, rules.genes.min[g], rules.genes.max[g], rules.genes.max[g] + 1, INT32_MAX}) {
      units.genome[2][g] = v;
      mutateGene(units.genome[2], g, 0, rules.genes);
      record.push_back(units.genome[2][g]);
    }
  EXPECT_EQ(sha256Hex(record.data(), record.size() * sizeof record[0]),
            "90f4597169fd1e076cae606e3aa6728a0279ce4b9b0000fd3fcd3de25e4391a1");
}
