// The command line of the interactive program.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/app.h"
#include "app/startup.h"
#include "persist/numbers.h"
#include "persist/paramfile.h"
#include "persist/statefile.h"

namespace {

const char kAbout[] =
    "Runs the evolving world on a 1024 x 768 screen, fullscreen unless --windowed is given.\n"
    "It starts from the autosave tarn.sav of the working directory (or from --load FILE) and writes\n"
    "tarn.sav on leaving, and every 10 minutes while the world changes.";

const char kExitStatuses[] =
    "Ways out: ESC, the window's close button, or the signals TERM, INT and HUP; each saves tarn.sav.\n"
    "\n"
    "Exit status:\n"
    "  0    the program ended and tarn.sav was written\n"
    "  1    the program ended but tarn.sav could not be written (the previous one is kept)\n"
    "  2    bad command-line options, a bad TARN_TEST_ setting, or a --load file that cannot be read\n"
    "  255  no window, no 1024x768 display mode, or a start-up picture or font is missing or damaged";

// A whole number of digits only, within [low, high].
bool parseWhole(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  return readWhole(text, &value, false) == WholeText::Whole && value >= low && value <= high;
}

int badUse(const std::string& message) {
  std::fprintf(stderr, "tarn: %s (tarn --help lists the options)\n", message.c_str());
  return 2;
}

}  // namespace

int parseOptions(int argc, char** argv, ProgramOptions& options) {
  CLI::App app{kAbout, "tarn"};
  app.footer(kExitStatuses);
  std::string seedText;
  app.add_flag("--windowed", options.windowed, "Start in a 1024 x 768 window instead of fullscreen")
      ->disable_flag_override();
  CLI::Option* seedOption =
      app.add_option("--seed", seedText,
                     "Seed the random generator with S (0 to 4294967295) instead of the clock, so that a "
                     "session can be repeated")
          ->option_text("S");
  std::string inputRateText;
  CLI::Option* inputRateOption =
      app.add_option("--input-rate", inputRateText,
                     "Input steps a second (default 60, 0 to 1000; 0: every frame): a held key acts, and a held "
                     "button fires and counts its cooldown down, once an input step")
          ->option_text("N");
  app.add_flag("--fast", options.fast,
               "Start in fast-forward: every frame simulated, 60 of them a second shown (key F toggles it)")
      ->disable_flag_override();
  app.add_flag("--fps", options.showFrameRate,
               "Print the frames a second on standard error every 5 seconds, and over the whole run at the end")
      ->disable_flag_override();
  CLI::Option* loadOption =
      app.add_option("--load", options.load,
                     "Start from the state file FILE instead of tarn.sav (an experiment's world.sav, say); "
                     "FILE is never written: leaving still saves tarn.sav")
          ->option_text("FILE");
  std::string paramsFile;
  std::vector<std::string> settings;
  CLI::Option* paramsOption =
      app.add_option("--params", paramsFile,
                     "Run the world under the rules of the parameter file FILE (TOML; an experiment's params.toml, "
                     "say): the values it names replace the defaults")
          ->option_text("FILE");
  app.add_option("--set", settings, "One rule, NAME=VALUE (regulation.cull_at=400, ...), after --params; repeatable")
      ->option_text("NAME=VALUE")
      ->allow_extra_args(false);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ExtrasError&) {
    std::string extras;
    for (const std::string& word : app.remaining()) extras += (extras.empty() ? "" : " ") + word;
    return badUse("unknown option or argument: " + extras);
  } catch (const CLI::ArgumentMismatch& e) {
    if (seedOption->count() > 1) return badUse("--seed is given more than once");
    if (inputRateOption->count() > 1) return badUse("--input-rate is given more than once");
    if (loadOption->count() > 1) return badUse("--load is given more than once");
    if (paramsOption->count() > 1) return badUse("--params is given more than once");
    if (std::string(e.what()).find("--load") != std::string::npos) return badUse("--load needs a file");
    const std::string what = e.what();
    if (what.find("--seed") != std::string::npos) return badUse("--seed needs a value");
    if (what.find("--input-rate") != std::string::npos) return badUse("--input-rate needs a value");
    if (what.compare(0, 4, "fps ") == 0) return badUse("--fps takes no value");
    if (what.compare(0, 5, "fast ") == 0) return badUse("--fast takes no value");
    return badUse("--windowed takes no value");
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    for (char& c : message)
      if (c == '\n') c = ' ';
    return badUse(message);
  }

  if (seedOption->count() > 0) {
    if (!parseSeed(seedText, options.seed)) return badUse(kSeedRule);
    options.seeded = true;
  }

  if (inputRateOption->count() > 0) {
    int64_t rate = 0;
    if (!parseWhole(inputRateText, 0, 1000, rate))
      return badUse("--input-rate must be a whole number from 0 to 1000");
    options.inputRate = (int)rate;
  }

  // A file that cannot be opened is refused before any window opens.
  if (loadOption->count() > 0) {
    std::string why;
    if (!stateFileReadable(options.load, &why)) {
      std::fprintf(stderr, "tarn: cannot read %s: %s\n", options.load.c_str(), why.c_str());
      return 2;
    }
  }
  // So are bad rules.
  std::string error;
  if (!readRules(paramsFile, settings, &options.rules, &error)) {
    std::fprintf(stderr, "tarn: %s\n", error.c_str());
    return 2;
  }
  // An experiment's world beside the rules it ran under: the window runs it
  // under the defaults unless told otherwise.
  if (loadOption->count() > 0 && paramsOption->count() == 0) {
    const size_t slash = options.load.rfind('/');
    const std::string beside = (slash == std::string::npos ? "" : options.load.substr(0, slash + 1)) + "params.toml";
    if (access(beside.c_str(), F_OK) == 0)
      std::fprintf(stderr,
                   "tarn: note: %s lies beside %s: the rules its run had. Without --params %s the world runs "
                   "under the default rules\n",
                   beside.c_str(), options.load.c_str(), beside.c_str());
  }

  // A test aid: a shorter interval between periodic autosaves.
  if (const char* seconds = std::getenv("TARN_TEST_AUTOSAVE_SECONDS")) {
    int64_t value = 0;
    if (!parseWhole(seconds, 1, 86400, value))
      return badUse("TARN_TEST_AUTOSAVE_SECONDS must be a whole number of seconds from 1 to 86400");
    options.autosaveSeconds = (int)value;
  }
  // A test aid: every frame composed whole as well, and compared.
  if (const char* check = std::getenv("TARN_TEST_CHECK_FRAMES")) {
    if (std::string(check) != "0" && std::string(check) != "1")
      return badUse("TARN_TEST_CHECK_FRAMES must be 0 or 1");
    options.checkFrames = std::string(check) == "1";
  }
  // A test aid: the program leaves as by ESC after this many frames.
  if (const char* frames = std::getenv("TARN_TEST_FRAMES")) {
    int64_t value = 0;
    if (!parseWhole(frames, 1, 1000000000000, value))
      return badUse("TARN_TEST_FRAMES must be a whole number of frames from 1 to 1000000000000");
    options.testFrames = (int64_t)value;
  }
  return -1;
}
