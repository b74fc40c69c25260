// The world's rules as parameters: parameter files and --set read, written
// and refused; and each rule changing a run where it must, checked frame by
// frame by a watcher that knows the rule.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/sim_options.h"
#include "experiment/output.h"
#include "experiment/runinfo.h"
#include "persist/paramfile.h"
#include "tests/support.h"

namespace {

// --- Files and settings ---------------------------------------------------

std::string refusal(const std::string& text, const std::vector<std::string>& settings = {}) {
  writeFile("rules.toml", text);
  SimulationParams p;
  std::string error;
  EXPECT_FALSE(readRules("rules.toml", settings, &p, &error)) << text;
  return error;
}

TEST(ParamFiles, ReadWhatTheyNameAndKeepTheRestAtTheDefaults) {
  WorkFolder work;
  writeFile("harsh.toml",
            "# a harsher world\ngenes.kin.step = 0\n[regulation]\ncull_at = 400\nfood_step = 0.1\n\n"
            "[genes.lifespan]\nmax = 20000\nseed_high = +9000\n");
  SimulationParams p;
  std::string error;
  ASSERT_TRUE(readRules("harsh.toml", {"regulation.cull_at=300", "contests.kin_tolerance=0", "genes.kin.step=5"}, &p,
                        &error))
      << error;
  SimulationParams want;
  want.cullAt = 300, want.foodStep = 0.1, want.kinTolerance = 0;
  want.genes.max[kGeneLifespan] = 20000, want.genes.seedHigh[kGeneLifespan] = 9000, want.genes.step[kGeneKin] = 5;
  EXPECT_TRUE(sameParams(p, want));
  EXPECT_EQ(differingParams(p), (std::vector<std::pair<std::string, std::string>>{
                                    {"regulation.cull_at", "300"},
                                    {"regulation.food_step", "0.1"},
                                    {"contests.kin_tolerance", "0"},
                                    {"genes.kin.step", "5"},
                                    {"genes.lifespan.seed_high", "9000"},
                                    {"genes.lifespan.max", "20000"}}));

  // A file that names every parameter reads back as the rules it was written
  // from, bit for bit, and the defaults' file is the defaults.
  for (const SimulationParams& rulesWritten : {want, SimulationParams{}}) {
    SimulationParams back;
    ASSERT_TRUE(readRulesText(paramFileText(rulesWritten), "params.toml", &back, &error)) << error;
    EXPECT_TRUE(sameParams(back, rulesWritten));
  }
  const std::string all = paramFileText(SimulationParams{});
  EXPECT_NE(all.find("[regulation]\n# re-seeding starts when the living count is at most this\nreseed_at = 4\n"),
            std::string::npos);
  EXPECT_NE(all.find("[genes.lifespan]\n# a Unit older than this many ticks dies\nmin = 60\nseed_low = 5000\n"
                     "seed_high = 10000\nmax = 50000\nstep = 10\n"),
            std::string::npos);
  EXPECT_EQ(paramValueText(1.0), "1.0");
  EXPECT_EQ(paramValueText(1e50), "1e+50");
}

TEST(ParamFiles, RefuseWithTheFileTheLineAndTheKey) {
  WorkFolder work;
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"[regulation]\ncul_at = 400\n", "rules.toml:2: regulation.cul_at is not a parameter (did you mean "
                                       "regulation.cull_at?)"},
      {"[genes.lifespn]\nmax = 3\n", "rules.toml:1: genes.lifespn is not a parameter (did you mean genes.lifespan?)"},
      {"[regulation]\ncull_at = \"400\"\n",
       "rules.toml:2: regulation.cull_at must be a whole number from 0 to 1000, not a string"},
      {"[regulation]\ncull_at = 400.0\n", "rules.toml:2: regulation.cull_at must be a whole number from 0 to 1000"},
      {"[regulation]\ncull_at = 1001\n", "rules.toml:2: regulation.cull_at must be a whole number from 0 to 1000"},
      {"regulation = 3\n", "rules.toml:1: regulation holds parameters: give them as regulation.NAME = VALUE"},
      {"[regulation.cull_at]\nx = 1\n",
       "rules.toml:1: regulation.cull_at must be a whole number from 0 to 1000, not a table"},
      {"[regulation]\nsow_chance = 0\n", "rules.toml:2: regulation.sow_chance must be a whole number from 1 to 32767"},
      {"\n[contests]\nkin_tolerance = -1\n", "rules.toml:3: contests.kin_tolerance must be a whole number from 0 up"},
      {"[genes.kin]\nstep = true\n", "rules.toml:2: genes.kin.step must be a whole number from 0 up, not true or false"},
      {"[genes.kin]\nmax = 3000000000\n",
       "rules.toml:2: genes.kin.max must be a whole number from -2147483648 to 2147483647"},
      {"[regulation]\nfood_step = 0\n", "rules.toml:2: regulation.food_step must be a number above 0"},
      {"[regulation]\nfood_start = 1e39\n",
       "rules.toml:2: regulation.food_start must be a number above 0 that a float holds (up to 3.4e38)"},
      {"[regulation]\nfood_start = [0.5]\n",
       "rules.toml:2: regulation.food_start must be a number above 0 that a float holds (up to 3.4e38), not a list"},
      // How parameters bound each other, named where the user gave one.
      {"[regulation]\nreseed_until = 4\n",
       "rules.toml:2: regulation.reseed_at = 4 must be below regulation.reseed_until = 4"},
      {"[regulation]\nreseed_until = 900\n",
       "rules.toml:2: regulation.reseed_until = 900 must be at most regulation.cull_at = 800"},
      {"[genes.lifespan]\nmin = 6000\n",
       "rules.toml:2: genes.lifespan.min = 6000 must be at most genes.lifespan.seed_low = 5000"},
      {"[genes.lifespan]\nmax = 9000\n",
       "rules.toml:2: genes.lifespan.seed_high = 10000 must be at most genes.lifespan.max = 9000"},
      // Not TOML at all.
      {"[regulation\ncull_at = 4\n", "rules.toml:1: not a TOML file: Error while parsing table header: expected ']', "
                                     "saw '\\n'"},
      {"[regulation]\ncull_at = 4\ncull_at = 5\n", "rules.toml:3: not a TOML file: Error while parsing key-value pair: "
                                                   "cannot redefine existing integer 'cull_at'"},
  };
  for (const auto& c : cases) EXPECT_EQ(refusal(c.text), c.message);

  const struct {
    const char* setting;
    const char* message;
  } settings[] = {
      {"regulation.cull_at", "--set regulation.cull_at: give NAME=VALUE, for example --set regulation.cull_at=400"},
      {"regulation.cull_at=", "--set regulation.cull_at=: regulation.cull_at must be a whole number from 0 to 1000, not "
                              "nothing"},
      {"regulation.cull_at=4x", "--set regulation.cull_at=4x: regulation.cull_at must be a whole number from 0 to "
                                "1000, not '4x'"},
      {"regulation.cull_at=99999999999999999999", "--set regulation.cull_at=99999999999999999999: regulation.cull_at "
                                                  "must be a whole number from 0 to 1000"},
      {"regulation.food_step=inf", "--set regulation.food_step=inf: regulation.food_step must be a number above 0"},
      {"regulation.reseed_at=200", "--set regulation.reseed_at=200: regulation.reseed_at = 200 must be below "
                                   "regulation.reseed_until = 100"},
  };
  for (const auto& s : settings) EXPECT_EQ(refusal("", {s.setting}), s.message);
  // A setting comes after the file, and the relations are checked on the whole.
  EXPECT_EQ(refusal("[regulation]\ncull_at = 50\n", {"regulation.reseed_until=40", "regulation.reseed_until=60"}),
            "--set regulation.reseed_until=60: regulation.reseed_until = 60 must be at most regulation.cull_at = 50");

  SimulationParams p;
  std::string error;
  EXPECT_FALSE(readRules("missing.toml", {}, &p, &error));
  EXPECT_EQ(error, "cannot read missing.toml: No such file or directory");
  EXPECT_FALSE(readRules(".", {}, &p, &error));
  EXPECT_EQ(error, "cannot read .: Is a directory");
}

// A checkpoint holds every rule (real numbers to the bit) and is refused
// when one is out of bounds; one made before the rules were parameters holds
// none and resumes under the defaults.
TEST(ParamFiles, CheckpointsKeepTheRules) {
  RunInfo info;
  info.rules.cullAt = 300, info.rules.foodStep = 0.1, info.rules.foodStart = 1.0 / 3.0;
  info.rules.genes.max[kGeneLifespan] = 20000;
  nlohmann::json saved = nlohmann::json::parse(runInfoJson(info).dump());
  EXPECT_TRUE(sameParams(runInfoFrom(saved).rules, info.rules));
  saved["params"]["regulation.cull_at"] = 1001;
  EXPECT_THROW(runInfoFrom(saved), std::runtime_error);
  saved["params"]["regulation.cull_at"] = 90;  // below reseed_until
  EXPECT_THROW(runInfoFrom(saved), std::runtime_error);
  saved.erase("params");
  EXPECT_TRUE(sameParams(runInfoFrom(saved).rules, SimulationParams{}));
}

// --- The headless runner's options ----------------------------------------

struct SimParsed {
  int status;
  std::string error, output;
  SimOptions options;
};

SimParsed parseSim(std::vector<std::string> words) {
  std::vector<char*> argv = commandLine("tarn-sim", words);
  SimParsed parsed;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  parsed.status = parseSimOptions((int)words.size(), argv.data(), parsed.options);
  parsed.output = testing::internal::GetCapturedStdout();
  parsed.error = testing::internal::GetCapturedStderr();
  return parsed;
}

TEST(SimOptionsTest, EachOptionSetsItsFieldAndEveryRefusalSaysWhy) {
  WorkFolder work;
  writeFile("cull.toml", "[regulation]\ncull_at = 400\n");
  SimParsed p = parseSim({"--seed", "7", "--frames", "+500", "--every", "50", "--out", "runs/a", "--checkpoint", "100",
                          "--params", "cull.toml", "--set", "regulation.food_step=0.1", "--quiet", "--plain"});
  ASSERT_EQ(p.status, -1) << p.error;
  const ExperimentOptions& o = p.options.run;
  EXPECT_EQ(std::make_tuple(o.seed, o.frames, o.every, o.out, o.checkpointEvery, o.quiet, p.options.plain),
            std::make_tuple(7u, (int64_t)500, (int64_t)50, std::string("runs/a"), (int64_t)100, true, true));
  EXPECT_EQ(std::make_tuple(o.rules.cullAt, o.rules.foodStep), std::make_tuple(400, 0.1));

  p = parseSim({"--print-params", "--set", "contests.kin_tolerance=3"});
  EXPECT_EQ(std::make_tuple(p.status, p.options.printParams, p.options.run.rules.kinTolerance),
            std::make_tuple(-1, true, 3));
  p = parseSim({"--resume", "runs/a", "--quiet"});
  EXPECT_EQ(std::make_tuple(p.status, p.options.resume, p.options.run.quiet),
            std::make_tuple(-1, std::string("runs/a"), true));

  const struct {
    std::vector<std::string> words;
    const char* message;
  } refused[] = {
      {{"--frames", "-1"}, "--frames must be a whole number from 0 up"},
      {{"--frames", "99999999999999999999"}, "--frames is too large"},
      {{"--every", "0"}, "--every must be a whole number from 1 up"},
      {{"--seed", "-1"}, "--seed must be a whole number from 0 to 4294967295"},
      {{"--checkpoint", "10"}, "--checkpoint needs --out DIR: the checkpoints are kept in that folder"},
      {{"--out", "a", "--stats", "s.csv"}, "--stats cannot be used with --out: the folder gets all its outputs"},
      {{"--stats", "x", "--genes", "x"}, "two outputs name the same file x"},
      {{"--no-pictures"},
       "--no-pictures goes with --out: it leaves world.png, run.png, genes.png, muller.png and phylodiversity.png out"},
      {{"--print-params", "--seed", "3"},
       "--print-params prints the rules and runs nothing: it goes with --params and --set alone"},
      {{"--resume", "a", "--set", "regulation.cull_at=400"},
       "--resume goes on as the run was started: it takes no --set (a resumed run keeps the rules it was started "
       "with)"},
      {{"--resume", "a", "--every", "5"}, "--resume goes on as the run was started: it takes no --every"},
      {{"--seed", "1", "--seed", "2"}, "--seed is given more than once"},
      {{"--video", "v.mp4"}, "--video: this tarn-sim is built without pictures (build it with TARN_GUI=ON)"},
      // The picture options, from here on in a runner built with pictures.
      {{"--scale", "2", "--plot", "p.png"},
       "--scale sizes world pictures: it needs --snapshot, --frames-dir, --video or --out"},
      {{"--snapshot", "png"}, "--snapshot writes a PNG picture: its name must end in .png"},
      {{"--plot", "p.pngx"}, "--plot writes a PNG picture: its name must end in .png"},
      {{"--genes-plot", "g.jpg"}, "--genes-plot writes a PNG picture: its name must end in .png"},
      {{"--out", "o", "--frames-dir", "o/"},
       "--frames-dir needs a folder of its own, not the --out folder (a folder inside it will do)"},
      {{"--out", "o", "--checkpoint", "5", "--video", "v.mp4"},
       "--video cannot be used with --checkpoint: a video is made in one go, and a resumed run cannot continue it "
       "(--frames-dir keeps pictures that a resumed run does continue)"},
      {{"--frames", "99", "--video", "v.mp4"}, "--video needs a picture: --frames must be at least --every (100)"},
  };
  for (const auto& r : refused) {
    if (r.words[0] == "--scale") makePictureOutputs = [](const RunInfo&, const std::string&, NamedOutputs*) {};
    const SimParsed q = parseSim(r.words);
    EXPECT_EQ(q.status, kExitBadUse) << r.message;
    EXPECT_EQ(q.error, "tarn-sim: " + std::string(r.message) + "\nRun tarn-sim --help for the options.\n");
  }
  p = parseSim({"--out", "o", "--scale", "3", "--snapshot", "A.PNG", "--frames-dir", "o/lapse"});
  EXPECT_EQ(std::make_tuple(p.status, p.options.run.pictures.scale, p.options.run.pictures.inFolder),
            std::make_tuple(-1, 3, true));
  makePictureOutputs = nullptr;
  // A bad rule is refused with its own line, before the other options are read.
  const SimParsed bad = parseSim({"--frames", "x", "--set", "regulation.cull_at=1001"});
  EXPECT_EQ(std::make_tuple(bad.status, bad.error),
            std::make_tuple(kExitBadUse, std::string("tarn-sim: --set regulation.cull_at=1001: regulation.cull_at must "
                                                     "be a whole number from 0 to 1000\n")));
}

// The README's table of the runner's options lists every option of --help,
// in its order, with the same name for its value.
TEST(SimOptionsTest, TheReadmeListsEveryOptionAsHelpNamesIt) {
  const SimParsed help = parseSim({"--help"});
  const std::regex helpLine("  (--[a-z-]+)( [A-Z=.a-z]+)?(?: \\.\\.\\.)?  .*"), tableRow("\\| `(--[a-z-]+)( [A-Z=.a-z]+)?` \\|.*");
  std::string fromHelp, fromReadme;
  std::istringstream lines(help.output);
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_match(line, m, helpLine)) fromHelp += m[1].str() + m[2].str() + "\n";
  std::istringstream readme(readFile(TARN_SOURCE_DIR "/README.md"));
  std::string line;
  while (std::getline(readme, line) && line != "## The headless runner") continue;
  while (std::getline(readme, line) && line != "## Experiments")
    if (std::regex_match(line, m, tableRow)) fromReadme += m[1].str() + m[2].str() + "\n";
  EXPECT_GT(fromHelp.size(), 300u);
  EXPECT_EQ(fromReadme, fromHelp);
}

// --- Each rule in a run -----------------------------------------------------

// Watches a run frame by frame for one rule: check is told of every frame's
// end (and, for culls, of the frame's cull deaths) and notes what breaks it.
struct Watch : SimulationObserver {
  int64_t deaths[kDeathCauseCount] = {};
  int64_t culls = 0;             // frames with a cull
  int64_t reseedStarts = 0;      // frames in which re-seeding began again
  int64_t reseedEnds = 0;        // and ended
  int32_t lastReseeding = 1;
  float lastFood = 0;            // foodDivisor at the end of the frame before
  int64_t liveCellsAtCull = -1;  // the live cells as this frame's cull began
  std::string problem;
  std::function<void(Watch&, int64_t)> check;

  void died(int, DeathCause cause) override {
    ++deaths[(int)cause];
    if (cause == DeathCause::Cull && liveCellsAtCull < 0) liveCellsAtCull = countLiveCells();
  }
  void frameEnded(int64_t frame) override {
    reseedStarts += lastReseeding == 0 && simulation.reseeding == 1;
    reseedEnds += lastReseeding == 1 && simulation.reseeding == 0;
    if (check) check(*this, frame);
    lastReseeding = simulation.reseeding;
    lastFood = simulation.foodDivisor;
    liveCellsAtCull = -1;
  }
  void fail(int64_t frame, const std::string& what) {
    if (problem.empty()) problem = "frame " + std::to_string(frame) + ": " + what;
  }
  int64_t died(DeathCause cause) const { return deaths[(int)cause]; }
};

struct RuleCase {
  std::vector<std::string> settings;
  int frames;
  std::function<void(Watch&, int64_t)> eachFrame;  // notes a broken rule in the watch
  std::function<std::string(const Watch&)> atEnd;  // what did not happen that must have
};

// Every Alive Unit's gene g within [low, high].
std::string genesWithin(int g, int32_t low, int32_t high) {
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && (units.genome[u][g] < low || units.genome[u][g] > high))
      return "slot " + std::to_string(u) + " has gene " + std::to_string(g) + " = " + std::to_string(units.genome[u][g]);
  return "";
}

TEST(Parameters, EachChangesTheRunWhereItMust) {
  auto none = [](const char* what, int64_t n) { return n > 0 ? std::string() : std::string("no ") + what; };
  const RuleCase cases[] = {
      {{"regulation.cull_at=300"}, 6000,
       [](Watch& w, int64_t f) {
         if (aliveCount() > 300) w.fail(f, std::to_string(aliveCount()) + " alive");
       },
       [&](const Watch& w) { return none("cull", w.died(DeathCause::Cull)); }},
      {{"genes.lifespan.max=1000", "genes.lifespan.seed_low=500", "genes.lifespan.seed_high=900"}, 4000,
       [](Watch& w, int64_t f) {
         for (int u = 0; u < kMaxUnits; ++u)
           if (units.status[u] == Alive && units.age[u] > 1000) w.fail(f, "a Unit of age " + std::to_string(units.age[u]));
       },
       [&](const Watch& w) { return none("death of age", w.died(DeathCause::Age)); }},
      {{"contests.kin_tolerance=3000"}, 6000,
       [](Watch& w, int64_t f) {
         if (w.died(DeathCause::Contest) > 0) w.fail(f, "a contest death");
       },
       nullptr},
      {{"regulation.reseed_until=50"}, 300,
       [](Watch& w, int64_t f) {
         // Re-seeding ends as soon as the count passes 50 (a few births may
         // come in the same frame).
         if (w.lastReseeding == 1 && simulation.reseeding == 0 &&
             (simulation.livingCount <= 50 || simulation.livingCount > 60))
           w.fail(f, "re-seeding ended at " + std::to_string(simulation.livingCount));
       },
       [&](const Watch& w) { return none("end of re-seeding", w.reseedEnds); }},
      {{"regulation.cull_at=300", "regulation.reseed_at=60"}, 6000,
       [](Watch& w, int64_t f) {
         if (w.lastReseeding == 0 && simulation.reseeding == 1 && simulation.livingCount > 61)
           w.fail(f, "re-seeding began at " + std::to_string(simulation.livingCount));
       },
       [&](const Watch& w) { return none("second re-seeding", w.reseedStarts); }},
      {{"regulation.cull_at=300", "regulation.cull_units_spared=100", "regulation.cull_cells_spared=100"}, 6000,
       [](Watch& w, int64_t f) {
         if (w.died(DeathCause::Cull) > 0) w.fail(f, "a cull death");
         if (simulation.livingCount > 300) ++w.culls;  // a cull ran, and killed nobody
       },
       [&](const Watch& w) { return none("cull", w.culls); }},
      {{"regulation.cull_at=300", "regulation.cull_cells_spared=100"}, 6000,
       [](Watch& w, int64_t f) {
         if (w.liveCellsAtCull >= 0 && countLiveCells() != w.liveCellsAtCull) w.fail(f, "the cull cleared cells");
         w.culls += w.liveCellsAtCull >= 0;
       },
       [&](const Watch& w) { return none("cull", w.culls); }},
      {{"regulation.food_start=0.25", "regulation.food_step=0.5", "regulation.cull_at=300"}, 6000,
       [](Watch& w, int64_t f) {
         if (simulation.reseeding && simulation.foodDivisor != 0.25f) w.fail(f, "foodDivisor is not food_start");
         if (w.liveCellsAtCull < 0 || simulation.reseeding) return;
         ++w.culls;
         if (simulation.foodDivisor != (float)((double)w.lastFood + 0.5)) w.fail(f, "the cull did not add food_step");
       },
       [&](const Watch& w) { return none("cull", w.culls); }},
      {{"regulation.sow_chance=2"}, 2000, nullptr, nullptr},
      {{"genes.kin.seed_low=1500", "genes.kin.seed_high=1500", "genes.kin.step=0"}, 3000,
       [](Watch& w, int64_t f) {
         const std::string wrong = genesWithin(kGeneKin, 1500, 1500);
         if (!wrong.empty()) w.fail(f, wrong);
         if (w.died(DeathCause::Contest) > 0) w.fail(f, "a contest among kin");
       },
       nullptr},
      {{"genes.sow_period.min=20", "genes.sow_period.seed_low=20", "genes.sow_period.seed_high=30",
        "genes.sow_period.max=35"},
       3000,
       [](Watch& w, int64_t f) {
         const std::string wrong = genesWithin(kGeneSowPeriod, 20, 35);
         if (!wrong.empty()) w.fail(f, wrong);
       },
       nullptr},
  };
  auto runUnder = [](const std::vector<std::string>& settings, int frames, Watch* watch) {
    std::string error;
    freshWorld(2);
    EXPECT_TRUE(readRules("", settings, &rules, &error)) << error;
    if (watch) subscribe(watch);
    runFrames(frames);
    if (watch) unsubscribe(watch);
    const std::string digest = stateDigest();
    rules = SimulationParams{};
    return digest;
  };
  WorkFolder work;
  for (const RuleCase& c : cases) {
    std::string settings;
    for (const std::string& s : c.settings) settings += " " + s;
    SCOPED_TRACE(settings);
    Watch watch;
    watch.check = c.eachFrame;
    const std::string changed = runUnder(c.settings, c.frames, &watch);
    EXPECT_EQ(watch.problem, "");
    if (c.atEnd) {
      EXPECT_EQ(c.atEnd(watch), "");
    }
    EXPECT_NE(changed, runUnder({}, c.frames, nullptr)) << "the rule changed nothing";
  }
}

}  // namespace
