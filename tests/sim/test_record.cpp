// The records of a run, read from the files an experiment folder gets: every
// arrival and death is counted once (between any two rows, alive now = alive
// before + births + seeded - deaths, through re-seeding and culls), the
// lineage is whole and agrees with the counts, and recording changes nothing
// in the run; the run's page shows the numbers of run.json and stats.csv,
// names only files that exist, and tells a stopped run how to go on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "persist/digest.h"
#include "persist/statefile.h"
#include "experiment/experiment.h"
#include "report/page.h"
#include "record/stats.h"
#include "tests/support.h"
#include "units/units.h"
#include "units/params.h"
#include "world/cellfield.h"

namespace {

constexpr int kFrames = 300;

// A world that goes through a cull and a re-seeding in a few hundred frames:
// 795 loaded clones, short-lived (gene 35 at its least, 60 ticks), each at
// home and about to breed. Their offspring fill the table in the first
// frame, the cull follows, the clones and their offspring die of age within
// some 70 frames, and re-seeding starts.
void writeCloneWorld(const std::string& name) {
  resetSimulation();
  seedRandom(99);
  Genome g;
  randomGenome(g, rules.genes);
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
  simulation.foodDivisor = 0.5f;
  ASSERT_TRUE(saveState(name.c_str()));
}

class RecordRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = newTemporaryFolder("tarn-record");
    rules = SimulationParams{};
    writeCloneWorld(dir + "/clones.sav");
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }

  // The recorded experiment on that world, once for all tests.
  static const std::string& experiment() {
    static const std::string out = [] {
      const ExperimentOptions o = cloneRun(kFrames, 20, 0, dir + "/run");
      static volatile std::sig_atomic_t never = 0;
      resetSimulation();
      EXPECT_EQ(runExperiment(o, &never), kExitDone);
      return o.out;
    }();
    return out;
  }
  // A quiet run of seed 5 on that world, in folder out (empty: none).
  static ExperimentOptions cloneRun(int64_t frames, int64_t every, int64_t checkpointEvery, const std::string& out) {
    ExperimentOptions o;
    o.seed = 5, o.frames = frames, o.every = every, o.checkpointEvery = checkpointEvery;
    o.load = dir + "/clones.sav", o.out = out, o.quiet = true;
    return o;
  }
  static std::string dir;
};
std::string RecordRun::dir;

enum Column { Frame, Living, AliveNow, Level, Divisor, LiveCells, Reseeding, Births, Seeded, FirstDeath };
constexpr int kCauses = 6;  // age, starvation, contest, search, unfit, cull
const char* const kCauseNames[kCauses] = {"age", "starvation", "contest", "search", "unfit", "cull"};

// Between every two rows alive now = alive before + births + seeded - deaths;
// the lineage has a row for every arrival and agrees with the totals.
TEST_F(RecordRun, ArrivalsAndDeathsBalanceAndTheLineageAgrees) {
  auto stats = readCsv(experiment() + "/stats.csv");
  auto lineage = readCsv(experiment() + "/phylogeny.csv");
  ASSERT_EQ(stats.size(), (size_t)kFrames / 20);
  long arrivals = 795, births = 0, seeded = 0, deaths[kCauses] = {}, alive = 795, reseedStarts = 0;
  bool wasReseeding = false;
  for (const auto& r : stats) {
    births += std::stol(r[Births]), seeded += std::stol(r[Seeded]);
    arrivals += std::stol(r[Births]) + std::stol(r[Seeded]);
    for (int c = 0; c < kCauses; ++c) deaths[c] += std::stol(r[FirstDeath + c]), alive -= std::stol(r[FirstDeath + c]);
    EXPECT_EQ(std::stol(r[AliveNow]), alive + std::stol(r[Births]) + std::stol(r[Seeded])) << "frame " << r[Frame];
    alive = std::stol(r[AliveNow]);
    reseedStarts += !wasReseeding && r[Reseeding] == "1";
    wasReseeding = r[Reseeding] == "1";
  }
  // The run went through what it is meant to test.
  EXPECT_GE(reseedStarts, 1);
  EXPECT_GT(seeded, 100);
  for (int c : {0, 2, 4, 5}) EXPECT_GT(deaths[c], 0) << kCauseNames[c];
  std::set<long> ids;
  std::map<std::string, long> byCause;
  long living = 0, loaded = 0, withParent = 0, withNone = 0, parentZero = 0;
  for (const auto& r : lineage) {
    ASSERT_EQ(r.size(), 8u);
    const long id = std::stol(r[0]);
    EXPECT_TRUE(ids.insert(id).second) << "id " << id << " twice";
    const long origin = std::stol(r[2]);
    if (r[1] == "[NONE]") {
      loaded += origin == 0, withNone += origin > 0;
    } else {
      ++withParent, parentZero += r[1] == "[0]";
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
  EXPECT_EQ(withParent, births) << "each Unit born names its parent";
  EXPECT_EQ(withNone, seeded);
  EXPECT_GT(parentZero, 0) << "the first Unit, id 0, among the parents";
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
    EXPECT_EQ(std::stol(row[Living]), simulation.livingCount);
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

// A number shown on the page against the one it was made from: equal to
// the precision of the coarser of the two texts.
void expectSameNumber(const std::string& shown, const std::string& source, const std::string& what) {
  auto decimals = [](const std::string& t) {
    const size_t dot = t.find('.');
    return dot == std::string::npos ? 0 : (int)(t.size() - dot - 1);
  };
  const double tolerance = 0.5 * std::pow(10.0, -std::min(decimals(shown), decimals(source))) + 1e-9;
  EXPECT_NEAR(std::stod(shown), std::stod(source), tolerance) << what << ": " << shown << " against " << source;
}

std::string urlDecoded(const std::string& link) {
  std::string out;
  for (size_t i = 0; i < link.size(); ++i)
    if (link[i] == '%' && i + 2 < link.size()) {
      out += (char)std::stoi(link.substr(i + 1, 2), nullptr, 16);
      i += 2;
    } else {
      out += link[i];
    }
  return out;
}

TEST_F(RecordRun, ReportShowsTheRecordAndTheLastRowAndNamesOnlyFilesThatExist) {
  const std::string folder = experiment();
  const std::string page = readFile(folder + "/report.html");
  const auto record = nlohmann::json::parse(readFile(folder + "/run.json"));
  EXPECT_TRUE(std::regex_match(record.at("start_time").get<std::string>(),
                               std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z")));
  std::string names;
  const auto rows = readCsv(folder + "/stats.csv", &names);
  const std::vector<std::string> header = csvFields(names);

  // Every number marked with where it comes from.
  const std::regex marked("data-key=\"([A-Za-z_.]+)\">([^<]*)<");
  std::set<std::string> keys;
  for (std::sregex_iterator m(page.begin(), page.end(), marked), end; m != end; ++m) {
    const std::string key = (*m)[1], shown = (*m)[2];
    keys.insert(key);
    const nlohmann::json* value = &record;
    std::istringstream path(key);
    for (std::string part; std::getline(path, part, '.');) value = &value->at(part);
    expectSameNumber(shown, value->dump(), "run.json " + key);
    if (key.rfind("final.", 0) == 0) {
      const auto column = std::find(header.begin(), header.end(), key.substr(6));
      ASSERT_NE(column, header.end()) << key;
      expectSameNumber(shown, rows.back()[column - header.begin()], "stats.csv " + key);
    }
  }
  for (const char* key : {"seed", "frames", "frames_run", "wall_seconds", "frames_per_second", "load.bytes",
                          "final.alive", "final.living", "final.genotypes", "final.dominant", "final.mean_energy",
                          "totals.births", "totals.seeded", "totals.deaths_age", "totals.deaths_cull"})
    EXPECT_EQ(keys.count(key), 1u) << key << " is not on the page";
  EXPECT_NE(page.find(record.at("load").at("sha256").get<std::string>()), std::string::npos);

  // Every link names a file (or, ending in a slash, a folder) that exists.
  const std::regex linked("(?:href|src)=\"([^\"]*)\"");
  int links = 0;
  for (std::sregex_iterator m(page.begin(), page.end(), linked), end; m != end; ++m, ++links) {
    const std::string target = folder + "/" + urlDecoded((*m)[1]);
    EXPECT_EQ(access(target.c_str(), R_OK), 0) << target;
  }
  EXPECT_GE(links, 4);  // world.sav, stats.csv, phylogeny.csv, run.json
  EXPECT_EQ(page.find("class=\"stopped\""), std::string::npos);

  // The tree of the living: each figure as the last row of phylodiversity.csv has it.
  std::map<std::string, std::string> last;
  std::string treeNames;
  const auto tree = readCsv(folder + "/phylodiversity.csv", &treeNames);
  for (size_t k = 0; k < tree.back().size(); ++k) last[csvFields(treeNames)[k]] = tree.back()[k];
  const std::regex figure("data-tree=\"([a-z_]+)\">([^<]*)<");
  int figures = 0;
  for (std::sregex_iterator m(page.begin(), page.end(), figure), end; m != end; ++m, ++figures)
    EXPECT_EQ((*m)[2].str(), last[(*m)[1].str()]) << (*m)[1];
  EXPECT_GE(figures, 8);

  // The most common genome: carried by as many of the living as run.json says.
  const std::regex oneLine("as <code>phylogeny.csv</code> writes it: <code>([-0-9 ]+)</code>");
  std::smatch genome;
  ASSERT_TRUE(std::regex_search(page, genome, oneLine));
  long carriers = 0;
  for (const auto& r : readCsv(folder + "/phylogeny.csv")) carriers += r[3] == "inf" && r[6] == genome[1].str();
  EXPECT_EQ(carriers, record.at("final").at("dominant").get<long>());
}

// The whole page for three runs made up here, every section shown at least
// once (the lineages only when given), against digests recorded when the
// page was last changed on purpose (on a mismatch the page is left in the
// working directory to compare).
TEST_F(RecordRun, ReportPagesAreAsRecorded) {
  const auto record = [](bool interrupted, bool loaded) {
    nlohmann::ordered_json r;
    r["program"] = "tarn-sim", r["version"] = "9.8.7";
    r["command_line"] = {"tarn-sim", "--seed", "42", "--out", "it's <here>"};
    if (interrupted) r["interrupted"] = true;
    else r["resumed_with"] = {{"tarn-sim", "--resume", "a b"}, nlohmann::json::array()};
    r["seed"] = 42;
    r["params"] = nlohmann::ordered_json::object();
    if (loaded) r["params"] = {{"regulation.cull_at", 400}, {"regulation.food_step", 0.1}};
    r["frames"] = 5000, r["frames_run"] = interrupted ? 1234 : 5000, r["every"] = 100;
    r["checkpoint"] = interrupted ? 0 : 1000, r["start_time"] = "2026-12-07T21:00:00Z";
    r["wall_seconds"] = 12.345678, r["frames_per_second"] = 405.5;
    r["load"] = nullptr;
    if (loaded) r["load"] = {{"file", "w&orld.sav"}, {"bytes", 3170000}, {"sha256", "ab12"}, {"warning", "cut <short>"}};
    r["final"] = {{"frame", 5000},     {"living", 311},     {"alive", 312},      {"level", 7},
                  {"foodDivisor", 2.25}, {"liveCells", 40000}, {"reseeding", 0},  {"genotypes", 90},
                  {"dominant", 17},    {"mean_age", 140.25}, {"mean_energy", 99.125}};
    r["totals"] = {{"births", 900}, {"seeded", 50},       {"deaths_age", 300}, {"deaths_starvation", 20},
                   {"deaths_contest", 10}, {"deaths_search", 5}, {"deaths_unfit", 3},  {"deaths_cull", 250}};
    return r;
  };
  ReportInput whole;
  whole.record = record(false, true);
  whole.worldFile = "world one.sav";
  whole.paramsFile = "params.toml";
  whole.files = {{"world one.sav", "the state"}, {"stats.csv", "the counts"}};
  whole.pictures = {{"world.png", "The world"}, {"run#1.png", "The <run>"}};
  whole.video = {"run.mp4", "The video"};
  whole.timeLapse = {{"frames/frame-000000.png", "frame 0"}, {"frames/frame-005000.png", "frame 5000"}};
  whole.timeLapseFolder = "frames";
  whole.lineages = {{12, -1, 140, 2300, 0, "1 2 3"}, {815, 12, 96, 9100, 31, ""}};
  whole.dominantCarriers = 17;
  for (int k = 0; k < kGeneCount; ++k) whole.dominant[k] = k * 7 - 3;
  whole.dominantGlyph = "report-glyph.png";
  const auto bounds = [](ReportInput& page) {
    for (int g = 0; g < kGeneCount; ++g)
      page.geneLow[g] = designGeneTable().min[g], page.geneHigh[g] = designGeneTable().max[g];
  };
  bounds(whole);
  const char* const columns[] = {"frame", "alive", "roots", "phylogenetic_diversity", "mean_pairwise_distance",
                                 "mrca", "mrca_depth", "mrca_changes", "depth_mean", "depth_max"};
  const auto tree = [&](std::vector<std::string> values) {
    std::vector<std::pair<std::string, std::string>> row;
    for (size_t k = 0; k < values.size(); ++k) row.emplace_back(columns[k], values[k]);
    return row;
  };
  whole.tree = tree({"5000", "312", "1", "700", "41.500000", "0", "1", "2", "20.250000", "30"});

  ReportInput stopped;
  stopped.record = record(true, false), stopped.resumeCommand = "tarn-sim --resume '/a folder'";
  stopped.timeLapse = {{"f/frame-000001.png", "frame 1"}}, stopped.dominantCarriers = 3;
  stopped.tree = tree({"1234", "2", "2", "2", "2.000000", "", "0", "0", "1.000000", "1"});

  bounds(stopped);
  ReportInput lost = stopped;
  lost.resumeCommand.clear(), lost.timeLapse.clear(), lost.dominantCarriers = 0;
  lost.notResumable = "A run that makes a video cannot be resumed: it is made in one go.";
  lost.worldFile = "lost.sav", lost.record["params"] = {{"regulation.cull_at", 400}, {"contests.kin_tolerance", 3}};
  lost.tree = tree({"1234", "0", "0", "0", "", "", "", "3", "", ""});

  const std::pair<const ReportInput*, const char*> pages[] = {
      {&whole, "06bf13e1eb1241d0973b3e11ad9fbaa7baec9b278f2b2d9d2852d3e4700e9ae0"},
      {&stopped, "956f0f8244e5212f31a7e743ad9762e24e218ab8c11db65908078aef5be0377a"},
      {&lost, "3824350b1b48846d07cd261e98fab9f2a55990fc27a041abd82236ad8d784d86"}};
  const bool tidy = std::system("command -v tidy >/dev/null 2>&1") == 0;
  int n = 0;
  for (const auto& [input, digest] : pages) {
    const std::string page = renderReport(*input);
    const std::string name = "report-page-" + std::to_string(n++) + ".html";
    const std::string found = sha256Hex(page.data(), page.size());
    if (found != digest) std::ofstream(name) << page;
    EXPECT_EQ(found, digest) << "the page is in " << name;
    if (tidy) {  // valid HTML5
      std::ofstream(dir + "/page.html") << page;
      EXPECT_EQ(std::system(("tidy -e -q '" + dir + "/page.html'").c_str()), 0) << name;
    }
  }
  if (!tidy) GTEST_SKIP() << "no tidy (tools/deps.sh installs it): the pages' digests were checked, their HTML not";
}

// A runner started with standard input closed (from a service, say) gets
// descriptor 0 for the first file it opens: the run goes as any other, and
// leaves nothing open behind it. Its outputs one by one are the folder's.
TEST_F(RecordRun, RunsWithStandardInputClosed) {
  const int kept = dup(0);
  ASSERT_GE(kept, 0);
  static volatile std::sig_atomic_t never = 0;
  std::string seen;  // the status of each run and whether descriptor 0 was closed after it
  for (int k = 0; k < 2; ++k) {
    ExperimentOptions o = cloneRun(30, 10, 0, k == 0 ? dir + "/no input" : "");
    if (k == 1)
      o.save = dir + "/world.sav", o.stats = dir + "/stats.csv", o.phylogeny = dir + "/phylogeny.csv",
      o.genes = dir + "/genes.csv", o.phylodiversity = dir + "/phylodiversity.csv";
    resetSimulation();
    close(0);
    seen += std::to_string(runExperiment(o, &never));
    seen += fcntl(0, F_GETFD) == -1 ? " closed " : " open ";
    dup2(kept, 0);
  }
  close(kept);
  EXPECT_EQ(seen, "0 closed 0 closed ");
  for (const char* name : {"world.sav", "stats.csv", "phylogeny.csv", "genes.csv", "phylodiversity.csv"})
    EXPECT_TRUE(readFile(dir + "/no input/" + name) == readFile(dir + "/" + name)) << name;
}

// Between checkpoints the folder holds the last one taken: a run killed at
// any frame goes on from the latest multiple of --checkpoint before it.
TEST_F(RecordRun, TheFolderHoldsTheLatestCheckpointAtEveryFrame) {
  struct Peek : SimulationObserver {
    std::string file;
    std::string seen;
    void frameEnded(int64_t frame) override {
      std::ifstream in(file);
      const auto saved = nlohmann::json::parse(in, nullptr, false);
      seen += std::to_string(frame) + ":" + (saved.is_discarded() ? "-" : saved.at("frame").dump()) + " ";
    }
  } peek;
  const ExperimentOptions o = cloneRun(8, 1, 3, dir + "/checkpoints");
  peek.file = o.out + "/resume";
  static volatile std::sig_atomic_t never = 0;
  resetSimulation();
  subscribe(&peek);
  EXPECT_EQ(runExperiment(o, &never), kExitDone);
  unsubscribe(&peek);
  EXPECT_EQ(peek.seen, "1:0 2:0 3:0 4:3 5:3 6:3 7:6 8:6 ");
  EXPECT_NE(access(peek.file.c_str(), F_OK), 0) << "a finished run keeps no checkpoint";
}

// A run stopped between two stats rows and two checkpoints, then resumed,
// leaves the files of the same run made in one go, byte for byte: the
// resumed run takes its rules from the checkpoint.
TEST_F(RecordRun, StoppedAndResumedIsTheRunMadeInOneGo) {
  StopAtFrame stopper(1000);
  ExperimentOptions o = cloneRun(90, 7, 20, dir + "/in one go");
  o.rules.cullAt = 700, o.rules.kinTolerance = 5, o.rules.foodStep = 0.1, o.rules.genes.step[kGeneKin] = 40;
  resetSimulation();
  subscribe(&stopper);
  EXPECT_EQ(runExperiment(o, &stopper.stop), kExitDone);
  o.out = dir + "/stopped";
  stopper.at = 45;
  resetSimulation();
  EXPECT_EQ(runExperiment(o, &stopper.stop), 128 + SIGTERM);
  unsubscribe(&stopper);
  static volatile std::sig_atomic_t never = 0;
  resetSimulation();
  rules = SimulationParams{};
  EXPECT_EQ(resumeExperiment(o.out, true, {"tarn-sim", "--resume", o.out}, &never), kExitDone);
  EXPECT_TRUE(sameParams(rules, o.rules));
  rules = SimulationParams{};
  for (const char* name : {"stats.csv", "phylogeny.csv", "genes.csv", "lineages.csv", "world.sav", "params.toml",
                           "phylodiversity.csv", "tree.nwk", "loaded.csv"})
    EXPECT_TRUE(readFile(dir + "/in one go/" + name) == readFile(o.out + "/" + name)) << name;
  EXPECT_GT(readFile(o.out + "/stats.csv").size(), 600u);
  EXPECT_GT(readFile(o.out + "/tree.nwk").size(), 100u);

  // The checkpoint of a runner that had no tree of the living and no
  // loaded.csv resumes as it did, into the same files it knew.
  o.out = dir + "/older";
  stopper.stop = 0;
  resetSimulation();
  subscribe(&stopper);
  EXPECT_EQ(runExperiment(o, &stopper.stop), 128 + SIGTERM);
  unsubscribe(&stopper);
  auto saved = nlohmann::json::parse(readFile(o.out + "/resume"));
  for (const char* name : {"phylodiversity.csv", "loaded.csv"}) {
    saved["outputs"].erase(name);
    std::remove((o.out + "/" + name).c_str());
  }
  saved["run"].erase("loaded_units");
  std::remove((o.out + "/tree.nwk").c_str());
  writeFile(o.out + "/resume", saved.dump());
  resetSimulation();
  EXPECT_EQ(resumeExperiment(o.out, true, {"tarn-sim", "--resume", o.out}, &never), kExitDone);
  for (const char* name : {"stats.csv", "phylogeny.csv", "genes.csv", "lineages.csv", "world.sav"})
    EXPECT_TRUE(readFile(dir + "/in one go/" + name) == readFile(o.out + "/" + name)) << name;
  EXPECT_FALSE(fileExists(o.out + "/phylodiversity.csv") || fileExists(o.out + "/tree.nwk"));
  rules = SimulationParams{};
}

// What resume cannot go on from is refused with the reason, and the stopped
// run's files are left as they were.
TEST_F(RecordRun, ResumeRefusesWhatItCannotGoOnFromAndKeepsTheFiles) {
  StopAtFrame stopper(4);
  const ExperimentOptions o = cloneRun(90, 7, 3, dir + "/refused");
  resetSimulation();
  subscribe(&stopper);
  EXPECT_EQ(runExperiment(o, &stopper.stop), 128 + SIGTERM);
  unsubscribe(&stopper);
  const std::string resume = readFile(o.out + "/resume"), world = readFile(o.out + "/world.sav"),
                    stats = readFile(o.out + "/stats.csv");
  writeFile(dir + "/a file", "x");
  ::mkdir((dir + "/empty").c_str(), 0755);
  auto said = [](const std::string& folder, const std::string& message) {
    static volatile std::sig_atomic_t never = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(resumeExperiment(folder, true, {"tarn-sim", "--resume", folder}, &never), kExitBadUse);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot resume: " + message), std::string::npos) << message;
  };
  said(dir + "/none", dir + "/none: No such file");
  said(dir + "/a file", dir + "/a file is not a folder");
  said(dir + "/empty", dir + "/empty holds no checkpoint (no file \"resume\"; a finished run removes it)");
  writeFile(o.out + "/resume", resume.substr(0, resume.size() / 2));
  said(o.out, o.out + "/resume is damaged");
  writeFile(o.out + "/resume", resume);
  writeFile(o.out + "/world.sav", world.substr(0, world.size() - 40));
  said(o.out, o.out + "/world.sav does not hold the state of its checkpoint");
  EXPECT_TRUE(readFile(o.out + "/resume") == resume && readFile(o.out + "/stats.csv") == stats);
}

// The most common genome among the living: its carriers counted, the dead
// not among them.
TEST(MostCommonGenome, CountsTheCarriersOfTheLeadingGenome) {
  rules = SimulationParams{};
  resetSimulation();
  for (int slot = 0; slot < 8; ++slot) {  // genomes 2 1 3 1 2 1 2 2; two of the four 2s dead
    units.genome[slot].fill("21312122"[slot] - '0');
    units.status[slot] = slot == 0 || slot == 4 ? Dead : Alive;
  }
  Genome found{};
  const int32_t carriers = mostCommonGenome(&found);
  EXPECT_EQ(std::tuple(carriers, found[35]), std::tuple(3, 1));
  resetSimulation();
  EXPECT_EQ(mostCommonGenome(&found), 0);
}

}  // namespace
