// The frame-rate line of --fps, on standard error: every 5 seconds the rate
// of those seconds, and at the end the rate of the whole run.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "app/app.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kPeriod(5);

bool running = false;
Clock::time_point runStart, periodStart;
int64_t runFrames = 0, periodFrames = 0;

double secondsSince(Clock::time_point t, Clock::time_point now) {
  return std::chrono::duration<double>(now - t).count();
}

}  // namespace

void startFrameRate() {
  running = true;
  runStart = periodStart = Clock::now();
  runFrames = periodFrames = 0;
}

void countFrame() {
  if (!running) return;
  ++runFrames;
  ++periodFrames;
  const Clock::time_point now = Clock::now();
  if (now - periodStart < kPeriod) return;
  const double seconds = secondsSince(periodStart, now);
  std::fprintf(stderr, "tarn: %.0f frames a second\n", (double)periodFrames / seconds);
  periodStart = now;
  periodFrames = 0;
}

void endFrameRate() {
  if (!running) return;
  running = false;
  const double seconds = secondsSince(runStart, Clock::now());
  std::fprintf(stderr, "tarn: %.0f frames a second over the run: %lld frames in %.2f seconds\n",
               seconds > 0 ? (double)runFrames / seconds : 0.0, (long long)runFrames, seconds);
}
