// tarn-sim: the simulation without display or input, for long experiments.
//
// Each frame is the simulation part of a running frame of the interactive
// program with no input: the Life generation every third frame, reaping, the
// Unit ticks in slot order, the random sowing event, then the population
// regulation. This file reads the command line; the run itself, its outputs
// and checkpoints are in record/.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/startup.h"
#include "record/experiment.h"
#include "record/outfile.h"
#include "record/report.h"
#include "units/units.h"
#include "world/cellfield.h"
#ifdef TARN_PICTURES
#include "picture/run_pictures.h"
#include "picture/world_picture.h"
#endif

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// Only sets the flag: the frame loop looks at it between frames. A second
// signal of the same kind ends the program at once (SA_RESETHAND).
extern "C" void onStopSignal(int sig) { stopSignal = sig; }

void installSignals() {
  installStopHandler(onStopSignal, SA_RESETHAND);
  // A file grown past the size limit is a failed write, reported as such,
  // rather than the end of the program.
  std::signal(SIGXFSZ, SIG_IGN);
}

// A whole number from low up (to high, when high is given), or a message in
// plain words.
bool parseWhole(const std::string& name, const std::string& text, int64_t low, int64_t high, bool showHigh,
                int64_t* value, std::string* error) {
  const std::string want = showHigh ? name + " must be a whole number from " + std::to_string(low) + " to " +
                                          std::to_string(high)
                                    : name + " must be a whole number from " + std::to_string(low) + " up";
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) {
    *error = want;
    return false;
  }
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      *error = want;
      return false;
    }
    if (v > (INT64_MAX - (text[i] - '0')) / 10) {
      *error = negative ? want : name + " is too large";
      return false;
    }
    v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < low || v > high) {
    *error = v > high && !showHigh ? name + " is too large" : want;
    return false;
  }
  *value = v;
  return true;
}

// A name that ends in .png, in any case.
bool endsInPng(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ending = path.substr(path.size() - 4);
  for (char& c : ending) c = (char)std::tolower((unsigned char)c);
  return ending == ".png";
}

int badUse(const std::string& message) {
  std::fprintf(stderr, "tarn-sim: %s\nRun tarn-sim --help for the options.\n", message.c_str());
  return kExitBadUse;
}

const char kFooter[] = R"(
An experiment in a folder:
  tarn-sim --seed 7 --frames 200000 --out runs/seed-7 --checkpoint 10000
writes world.sav, stats.csv, phylogeny.csv, genes.csv, phylodiversity.csv,
tree.nwk, lineages.csv, run.json, world.png, run.png, genes.png, muller.png,
phylodiversity.png and report.html, a page that shows them all, into
runs/seed-7 (which must be new or empty; with --load, loaded.csv too). Stopped by a signal, or killed
after a checkpoint, it goes on with
  tarn-sim --resume runs/seed-7
A time-lapse, a picture every 500 frames, and a video of it:
  tarn-sim --seed 7 --frames 50000 --every 500 --frames-dir lapse --video lapse.mp4

Exit status:
  0    done
  1    an output could not be written (during or after the run)
  2    bad use: a bad option, an input that cannot be read, an output that
       cannot be written (found before the first frame)
  130  interrupted by SIGINT, 143 by SIGTERM, 129 by SIGHUP: the frame was
       finished and the outputs written as they stand)";

}  // namespace

int main(int argc, char** argv) {
  installSignals();
  CLI::App app{"Runs the simulation headless: no display, no input."};
  app.footer(kFooter);
  std::string seedText, framesText = "1000", everyText = "100", checkpointText, scaleText, resume;
  bool noPictures = false;
  ExperimentOptions o;
  PictureOptions& pictures = o.pictures;
  app.add_option("--seed", seedText, "Seed of the random generator (default: the clock)")->type_name("S");
  app.add_option("--frames", framesText, "Number of running frames to simulate (default 1000)")->type_name("N");
  app.add_option("--load", o.load, "State file to start from")->type_name("FILE");
  app.add_flag("--strict", o.strict, "A --load file that ends early or holds a bad value is an error, not a warning");
  app.add_option("--out", o.out,
                 "Experiment folder, new or empty: world.sav, stats.csv, phylogeny.csv, genes.csv, phylodiversity.csv, "
                 "tree.nwk, lineages.csv, run.json, the pictures and report.html go there")
      ->type_name("DIR");
  app.add_option("--every", everyText,
                 "A stats row, and a picture for --frames-dir and --video, every K frames (default 100)")
      ->type_name("K");
  app.add_option("--checkpoint", checkpointText,
                 "With --out: save the whole run into the folder every N frames, to be resumed")
      ->type_name("N");
  app.add_option("--resume", resume, "Go on with the interrupted run in DIR to its last frame")->type_name("DIR");
  app.add_option("--save", o.save, "State file to write at the end")->type_name("FILE");
  app.add_option("--stats", o.stats, "CSV file with a stats row every K frames")->type_name("FILE");
  app.add_option("--phylogeny", o.phylogeny, "CSV file with the lineage of every Unit that lived")->type_name("FILE");
  app.add_option("--phylodiversity", o.phylodiversity,
                 "CSV file with the tree of the living's diversity, pairwise distance and common ancestor every K "
                 "frames")
      ->type_name("FILE");
  app.add_option("--genes", o.genes, "CSV file with each gene's mean, spread and range every K frames")
      ->type_name("FILE");
  app.add_option("--record", o.record, "JSON file with the run record")->type_name("FILE");
  app.add_option("--report", o.report,
                 "HTML page of the run: its record, counts, pictures and most common genome (report.html alone)")
      ->type_name("FILE.html");
  app.add_option("--snapshot", pictures.snapshot, "PNG picture of the world at the end")->type_name("FILE.png");
  app.add_option("--frames-dir", pictures.framesDir,
                 "A world picture every K frames (--every) into DIR, new or empty: frame-000100.png, ...")
      ->type_name("DIR");
  app.add_option("--video", pictures.video,
                 "Video of those pictures, 25 a second: .mp4, .webm or .gif (made in one go: not with --checkpoint)")
      ->type_name("FILE");
  app.add_option("--plot", pictures.plot, "PNG plot of the run's stats")->type_name("FILE.png");
  app.add_option("--genes-plot", pictures.genesPlot, "PNG plot of each gene's mean over the run")
      ->type_name("FILE.png");
  app.add_option("--scale", scaleText, "Each cell a K x K block in world pictures and videos (1 to 8, default 1)")
      ->type_name("K");
  app.add_flag("--no-pictures", noPictures,
               "With --out: no world.png, run.png, genes.png, muller.png and phylodiversity.png in the folder");
  app.add_flag("--quiet", o.quiet, "Print nothing but errors (a damaged --load is still noted in run.json)");
  app.add_flag("--plain", usePlainPaths,
               "Run the plain versions of the fast paths (the same results, only slower)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    const std::string what = e.what();
    if (what.find("At Most 1 required") != std::string::npos)
      return badUse(what.substr(0, what.find(':')) + " is given more than once");
    return badUse(what);
  }

  for (int i = 0; i < argc; ++i) o.commandLine.push_back(argv[i]);
  initGeneTable();
#ifdef TARN_PICTURES
  makePictureOutputs = makeRunPictureOutputs;
  writeGlyphPicture = writeGlyphPng;
#else
  for (const char* option : {"--snapshot", "--frames-dir", "--video", "--plot", "--genes-plot", "--scale"})
    if (app.count(option) > 0)
      return badUse(std::string(option) + ": this tarn-sim is built without pictures (build it with TARN_GUI=ON)");
#endif

  if (!resume.empty()) {
    for (const char* other : {"--seed", "--frames", "--load", "--strict", "--out", "--every", "--checkpoint",
                              "--save", "--stats", "--phylogeny", "--phylodiversity", "--genes", "--record",
                              "--report", "--snapshot",
                              "--frames-dir", "--video", "--plot", "--genes-plot", "--scale", "--no-pictures"})
      if (app.count(other) > 0)
        return badUse(std::string("--resume goes on as the run was started: it takes no ") + other);
    return resumeExperiment(resume, o.quiet, o.commandLine, &stopSignal);
  }

  std::string error;
  o.seed = (uint32_t)std::time(nullptr);
  if (app.count("--seed") > 0 && !parseSeed(seedText, o.seed)) return badUse(kSeedRule);
  if (!parseWhole("--frames", framesText, 0, INT64_MAX, false, &o.frames, &error)) return badUse(error);
  if (!parseWhole("--every", everyText, 1, INT64_MAX, false, &o.every, &error)) return badUse(error);
  if (app.count("--checkpoint") > 0) {
    if (!parseWhole("--checkpoint", checkpointText, 1, INT64_MAX, false, &o.checkpointEvery, &error))
      return badUse(error);
    if (o.out.empty()) return badUse("--checkpoint needs --out DIR: the checkpoints are kept in that folder");
  }
  if (!o.out.empty())
    for (const char* single :
         {"--save", "--stats", "--phylogeny", "--phylodiversity", "--genes", "--record", "--report", "--genes-plot"})
      if (app.count(single) > 0)
        return badUse(std::string(single) + " cannot be used with --out: the folder gets all its outputs");
  const std::string* files[] = {&o.save,           &o.stats,          &o.phylogeny,   &o.genes,
                                &o.record,         &o.report,         &pictures.snapshot, &pictures.video,
                                &pictures.plot,    &pictures.genesPlot, &o.phylodiversity};
  constexpr size_t kFiles = sizeof files / sizeof files[0];
  for (size_t a = 0; a < kFiles; ++a)
    for (size_t b = a + 1; b < kFiles; ++b)
      if (!files[a]->empty() && *files[a] == *files[b]) return badUse("two outputs name the same file " + *files[a]);

  // Pictures.
  if (noPictures && o.out.empty())
    return badUse("--no-pictures goes with --out: it leaves world.png, run.png, genes.png and muller.png out");
#ifdef TARN_PICTURES
  pictures.inFolder = !o.out.empty() && !noPictures;
  if (app.count("--scale") > 0) {
    int64_t value = 0;
    if (!parseWhole("--scale", scaleText, 1, kMaxPictureScale, true, &value, &error)) return badUse(error);
    pictures.scale = (int)value;
    if (pictures.snapshot.empty() && pictures.framesDir.empty() && pictures.video.empty() && !pictures.inFolder)
      return badUse("--scale sizes world pictures: it needs --snapshot, --frames-dir, --video or --out");
  }
#else
  if (!o.out.empty() && !noPictures && !o.quiet)
    std::printf("this tarn-sim is built without pictures: no world.png or run.png in %s\n", o.out.c_str());
#endif
  if (!pictures.snapshot.empty() && !endsInPng(pictures.snapshot))
    return badUse("--snapshot writes a PNG picture: its name must end in .png");
  if (!pictures.plot.empty() && !endsInPng(pictures.plot))
    return badUse("--plot writes a PNG picture: its name must end in .png");
  if (!pictures.genesPlot.empty() && !endsInPng(pictures.genesPlot))
    return badUse("--genes-plot writes a PNG picture: its name must end in .png");
  if (!pictures.framesDir.empty() && !o.out.empty() && folderName(pictures.framesDir) == folderName(o.out))
    return badUse("--frames-dir needs a folder of its own, not the --out folder (a folder inside it will do)");
  if (!pictures.video.empty()) {
    if (o.checkpointEvery > 0)
      return badUse("--video cannot be used with --checkpoint: a video is made in one go, and a resumed run "
                    "cannot continue it (--frames-dir keeps pictures that a resumed run does continue)");
    if (o.frames < o.every)
      return badUse("--video needs a picture: --frames must be at least --every (" + std::to_string(o.every) + ")");
  }
  return runExperiment(o, &stopSignal);
}
