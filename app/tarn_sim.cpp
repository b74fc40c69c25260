// tarn-sim: the simulation without display or input, for long experiments.
//
// Each frame is the simulation part of a running frame of the interactive
// program with no input: the Life generation every third frame, reaping, the
// Unit ticks in slot order, the random sowing event, then the population
// regulation.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

void drawProgress(long frame, long frames) {
  const int width = 40;
  int filled = frames > 0 ? (int)(frame * width / frames) : width;
  std::fprintf(stderr, "\r[%.*s%*s] %ld/%ld", filled, "########################################",
               width - filled, "", frame, frames);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Runs the simulation headless: no display, no input."};
  uint32_t seed = 0;
  long frames = 1000;
  std::string loadFile, saveFile, statsFile;
  auto* seedOption = app.add_option("--seed", seed, "Seed of the random generator (default: the clock)");
  app.add_option("--frames", frames, "Number of running frames to simulate")->check(CLI::NonNegativeNumber);
  app.add_option("--load", loadFile, "State file to start from (a missing file starts an empty world)");
  app.add_option("--save", saveFile, "State file to write at the end");
  app.add_option("--stats", statsFile, "CSV file with a row every 100 frames");
  app.add_flag("--plain", usePlainPaths,
               "Run the plain versions of the fast paths (the same results, only slower)");
  CLI11_PARSE(app, argc, argv);

  if (seedOption->count() == 0) seed = (uint32_t)std::time(nullptr);
  std::printf("seed %u\n", seed);

  initGeneTable();
  seedRandom(seed);
  if (!loadFile.empty()) loadState(loadFile.c_str());

  std::FILE* stats = nullptr;
  if (!statsFile.empty()) {
    stats = std::fopen(statsFile.c_str(), "w");
    if (!stats) {
      std::fprintf(stderr, "tarn-sim: cannot write %s\n", statsFile.c_str());
      return 1;
    }
    std::fprintf(stats, "frame,living,level,foodDivisor,liveCells,reseeding\n");
  }

  const bool progress = isatty(2) && frames >= 1000;
  auto start = std::chrono::steady_clock::now();
  for (long frame = 1; frame <= frames; ++frame) {
    simulateFrame();
    regulatePopulation();
    if (stats && frame % 100 == 0)
      std::fprintf(stats, "%ld,%d,%d,%f,%ld,%d\n", frame, livingCount, evolutionLevel(), (double)foodDivisor,
                   (long)countLiveCells(), reseeding);
    if (progress && frame % 200 == 0) drawProgress(frame, frames);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (progress) std::fprintf(stderr, "\n");

  int status = 0;
  if (stats && std::fclose(stats) != 0) {
    std::fprintf(stderr, "tarn-sim: writing %s failed\n", statsFile.c_str());
    status = 1;
  }
  if (!saveFile.empty() && !saveState(saveFile.c_str())) status = 1;
  std::printf("%ld frames in %.2f s (%.0f frames/s), %d Units living at Evolution Level %d\n", frames, seconds,
              seconds > 0 ? frames / seconds : 0.0, livingCount, evolutionLevel());
  return status;
}
