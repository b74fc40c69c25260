// A headless experiment: the checks before the first frame, the frame loop
// with its outputs and checkpoints, and the end of the run, whether it
// reached its last frame or was interrupted by a signal.
#pragma once
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "experiment/output.h"
#include "units/params.h"

// Exit statuses of the headless runner.
constexpr int kExitDone = 0;
constexpr int kExitOutputFailed = 1;  // an output could not be written during or after the run
constexpr int kExitBadUse = 2;        // bad options, unreadable input, an output refused before the first frame
// Interrupted by signal s (outputs written as they stand): 128 + s.

struct ExperimentOptions {
  uint32_t seed = 0;
  int64_t frames = 1000;
  int64_t every = 100;           // a stats row every this many frames
  int64_t checkpointEvery = 0;   // 0: no periodic checkpoint
  std::string load;              // state file to start from
  SimulationParams rules;        // the world's rules (--params, --set)
  std::string out;               // experiment folder: all its outputs and the checkpoints
  std::string save, stats, phylogeny, genes, record;  // single outputs, without --out
  std::string phylodiversity;
  std::string report;            // report.html alone, without --out
  PictureOptions pictures;       // world pictures, time-lapse, video, plots
  bool strict = false;           // a damaged --load file is an error, not a warning
  bool quiet = false;            // errors and warnings only
  std::vector<std::string> commandLine;
};

// Runs a new experiment. stop is polled between frames; a signal handler
// sets it to the signal's number. Returns the exit status.
int runExperiment(const ExperimentOptions& options, const volatile std::sig_atomic_t* stop);
// Goes on from the checkpoint in folder to the run's last frame.
int resumeExperiment(const std::string& folder, bool quiet, const std::vector<std::string>& commandLine,
                     const volatile std::sig_atomic_t* stop);
