// Pictures of the world: drawing one (the window's world drawing on a memory
// bitmap, then its pixels copied out), writing it as PNG, one frame of each
// video format through ffmpeg, and the copy F12 takes on the frame loop's
// thread. Two worlds: one left by 3000 frames of a real run (seed 1), and a
// crowded one (a third of the cells live, 800 Units) as the worst case.
#include <allegro.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "genome/genome.h"
#include "units/params.h"
#include "picture/png.h"
#include "picture/video.h"
#include "picture/world_picture.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

// A scratch folder, removed at exit (the name outlives every destructor).
const std::string& scratch() {
  static const std::string* dir = [] {
    std::string pattern = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/tarn-bench.XXXXXX";
    auto* made = new std::string(mkdtemp(&pattern[0]));
    std::atexit([] { std::system(("rm -rf '" + scratch() + "'").c_str()); });
    return made;
  }();
  return *dir;
}

// 0: the run's world, 1: the crowded one.
void makeWorld(int which) {
  static int made = -1;
  if (made == which) return;
  static bool started = false;
  if (!started) {
    std::string error;
    startHeadlessDrawing(error);
    started = true;
  }
  resetSimulation();
  if (which == 0) {
    seedRandom(1);
    simulation.reseeding = 1;
    for (int f = 0; f < 3000; ++f) {
      simulateFrame();
      regulatePopulation();
    }
  } else {
    seedRandom(12345);
    CellField& field = editCellGrids();
    for (int i = 0; i < kCellCount; ++i) field.cells[i] = rawRandom() % 3 == 0 ? Live : Empty;
    Genome genome;
    for (int u = 0; u < 800; ++u) {
      randomGenome(genome, rules.genes);
      spawnUnit(randomRange(0, kWorldWidth - 1), randomRange(0, kWorldHeight - 1), genome);
    }
  }
  made = which;
}

void BM_DrawWorldPicture(benchmark::State& state) {
  makeWorld((int)state.range(0));
  RgbImage picture;
  for (auto _ : state) {
    drawWorldPicture(picture, (int)state.range(1));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DrawWorldPicture)->ArgNames({"crowded", "scale"})->Args({0, 1})->Args({1, 1})->Args({0, 2})
    ->Unit(benchmark::kMillisecond);

void BM_WritePng(benchmark::State& state) {
  makeWorld((int)state.range(0));
  RgbImage picture;
  drawWorldPicture(picture, (int)state.range(1));
  const std::string path = scratch() + "/world.png";
  std::string error;
  for (auto _ : state) writePng(path, picture, PngTarget::Replace, error);
  FILE* f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  state.counters["bytes"] = (double)std::ftell(f);
  std::fclose(f);
}
BENCHMARK(BM_WritePng)->ArgNames({"crowded", "scale"})->Args({0, 1})->Args({1, 1})->Args({0, 2})
    ->Unit(benchmark::kMillisecond);

// 100 frames of the run's world with a Unit moving, the encoder's finish
// included: wall time and the encoder's processor time per frame.
void BM_VideoFrame(benchmark::State& state) {
  static const char* names[] = {"run.mp4", "run.webm", "run.gif"};
  makeWorld(0);
  const int frames = 100;
  RgbImage picture;
  drawWorldPicture(picture, 1);
  double encoder = 0, wall = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    VideoWriter video;
    std::string error;
    if (!video.open(scratch() + "/" + names[state.range(0)], picture.width, picture.height, 25, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    for (int f = 0; f < frames; ++f) {
      picture.pixels[(size_t)(f * 3)] ^= 255;  // not the same frame each time
      video.writeFrame(picture, error);
    }
    video.finish(error);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    encoder += video.encoderSeconds();
  }
  state.counters["wall_ms_per_frame"] = 1000 * wall / ((double)frames * state.iterations());
  state.counters["encoder_ms_per_frame"] = 1000 * encoder / ((double)frames * state.iterations());
}
BENCHMARK(BM_VideoFrame)->ArgName("mp4_webm_gif")->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond);

// What F12 costs the frame loop: the copy of the 1024 x 768 back buffer, at
// 32 bits and at the 24 bits of a 24-bit desktop.
void BM_ScreenshotCopy(benchmark::State& state) {
  makeWorld(0);
  BITMAP* shown = create_bitmap_ex((int)state.range(0), 1024, 768);
  clear_to_color(shown, makecol_depth((int)state.range(0), 10, 20, 30));
  RgbImage copy;
  for (auto _ : state) {
    copyBitmap(shown, copy);
    benchmark::ClobberMemory();
  }
  destroy_bitmap(shown);
}
BENCHMARK(BM_ScreenshotCopy)->ArgName("depth")->Arg(32)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace
