#include "app/sim_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <ctime>

#include "app/startup.h"
#include "persist/numbers.h"
#include "persist/paramfile.h"
#include "persist/files.h"

namespace {

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
tree.nwk, lineages.csv, run.json, params.toml, world.png, run.png, genes.png,
muller.png, phylodiversity.png and report.html, a page that shows them all,
into runs/seed-7 (which must be new or empty; with --load, loaded.csv too).
Stopped by a signal, or killed after a checkpoint, it goes on with
  tarn-sim --resume runs/seed-7
The same in a harsher world, with a parameter file and a single value:
  tarn-sim --seed 7 --frames 200000 --out runs/harsh --params harsh.toml --set regulation.cull_at=400
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

int parseSimOptions(int argc, char** argv, SimOptions& options) {
  CLI::App app{"Runs the simulation headless: no display, no input."};
  app.footer(kFooter);
  std::string seedText, framesText = "1000", everyText = "100", checkpointText, scaleText, paramsFile;
  std::vector<std::string> settings;
  bool noPictures = false;
  ExperimentOptions& o = options.run;
  PictureOptions& pictures = o.pictures;
  app.add_option("--seed", seedText, "Seed of the random generator (default: the clock)")->type_name("S");
  app.add_option("--frames", framesText, "Number of running frames to simulate (default 1000)")->type_name("N");
  app.add_option("--load", o.load, "State file to start from")->type_name("FILE");
  app.add_flag("--strict", o.strict, "A --load file that ends early or holds a bad value is an error, not a warning");
  app.add_option("--params", paramsFile,
                 "Parameter file (TOML) with the world's rules: the values it names replace the defaults")
      ->type_name("FILE");
  app.add_option("--set", settings, "One rule, NAME=VALUE (regulation.cull_at=400, ...), after --params; repeatable")
      ->type_name("NAME=VALUE")
      ->allow_extra_args(false);
  app.add_flag("--print-params", options.printParams,
               "Print the rules a run would have (every parameter, as params.toml holds them) and stop");
  app.add_option("--out", o.out,
                 "Experiment folder, new or empty: world.sav, stats.csv, phylogeny.csv, genes.csv, phylodiversity.csv, "
                 "tree.nwk, lineages.csv, run.json, params.toml, the pictures and report.html go there")
      ->type_name("DIR");
  app.add_option("--every", everyText,
                 "A stats row, and a picture for --frames-dir and --video, every K frames (default 100)")
      ->type_name("K");
  app.add_option("--checkpoint", checkpointText,
                 "With --out: save the whole run into the folder every N frames, to be resumed")
      ->type_name("N");
  app.add_option("--resume", options.resume, "Go on with the interrupted run in DIR to its last frame")
      ->type_name("DIR");
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
  app.add_flag("--plain", options.plain, "Run the plain versions of the fast paths (the same results, only slower)");
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

  if (options.printParams)
    for (const CLI::Option* other : app.get_options())
      if (other->count() > 0 && other->get_name() != "--print-params" && other->get_name() != "--params" &&
          other->get_name() != "--set")
        return badUse("--print-params prints the rules and runs nothing: it goes with --params and --set alone");
  const bool hasPictures = makePictureOutputs != nullptr;
  if (!hasPictures)
    for (const char* option : {"--snapshot", "--frames-dir", "--video", "--plot", "--genes-plot", "--scale"})
      if (app.count(option) > 0)
        return badUse(std::string(option) + ": this tarn-sim is built without pictures (build it with TARN_GUI=ON)");

  if (!options.resume.empty()) {
    for (const char* other : {"--seed", "--frames", "--load", "--strict", "--out", "--every", "--checkpoint", "--save",
                              "--stats", "--phylogeny", "--phylodiversity", "--genes", "--record", "--report",
                              "--snapshot", "--frames-dir", "--video", "--plot", "--genes-plot", "--scale",
                              "--no-pictures", "--params", "--set"})
      if (app.count(other) > 0)
        return badUse(std::string("--resume goes on as the run was started: it takes no ") + other +
                      (std::string(other) == "--params" || std::string(other) == "--set"
                           ? " (a resumed run keeps the rules it was started with)"
                           : ""));
    return -1;
  }

  // The rules first: a bad one is found before anything else is looked at.
  std::string error;
  if (!readRules(paramsFile, settings, &o.rules, &error)) {
    std::fprintf(stderr, "tarn-sim: %s\n", error.c_str());
    return kExitBadUse;
  }
  if (options.printParams) return -1;

  int64_t value = 0;
  o.seed = (uint32_t)std::time(nullptr);
  if (app.count("--seed") > 0 && !parseSeed(seedText, o.seed)) return badUse(kSeedRule);
  if (!readWholeOption("--frames", framesText, 0, INT64_MAX, &o.frames, &error)) return badUse(error);
  if (!readWholeOption("--every", everyText, 1, INT64_MAX, &o.every, &error)) return badUse(error);
  if (app.count("--checkpoint") > 0) {
    if (!readWholeOption("--checkpoint", checkpointText, 1, INT64_MAX, &o.checkpointEvery, &error))
      return badUse(error);
    if (o.out.empty()) return badUse("--checkpoint needs --out DIR: the checkpoints are kept in that folder");
  }
  if (!o.out.empty())
    for (const char* single :
         {"--save", "--stats", "--phylogeny", "--phylodiversity", "--genes", "--record", "--report", "--genes-plot"})
      if (app.count(single) > 0)
        return badUse(std::string(single) + " cannot be used with --out: the folder gets all its outputs");
  const std::string* files[] = {&o.save,         &o.stats,          &o.phylogeny,     &o.phylodiversity,
                                &o.genes,        &o.record,         &o.report,        &pictures.snapshot,
                                &pictures.video, &pictures.plot,    &pictures.genesPlot};
  constexpr size_t kFiles = sizeof files / sizeof files[0];
  for (size_t a = 0; a < kFiles; ++a)
    for (size_t b = a + 1; b < kFiles; ++b)
      if (!files[a]->empty() && *files[a] == *files[b]) return badUse("two outputs name the same file " + *files[a]);

  // Pictures.
  if (noPictures && o.out.empty())
    return badUse("--no-pictures goes with --out: it leaves world.png, run.png, genes.png, muller.png and "
                  "phylodiversity.png out");
  pictures.inFolder = hasPictures && !o.out.empty() && !noPictures;
  if (!hasPictures && !o.out.empty() && !noPictures && !o.quiet)
    std::printf("this tarn-sim is built without pictures: no world.png or run.png in %s\n", o.out.c_str());
  if (app.count("--scale") > 0) {
    if (!readWholeOption("--scale", scaleText, 1, kMaxPictureScale, &value, &error)) return badUse(error);
    pictures.scale = (int)value;
    if (pictures.snapshot.empty() && pictures.framesDir.empty() && pictures.video.empty() && !pictures.inFolder)
      return badUse("--scale sizes world pictures: it needs --snapshot, --frames-dir, --video or --out");
  }
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
  return -1;
}
