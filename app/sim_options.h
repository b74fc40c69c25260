// The headless runner's command line: what tarn-sim is asked to do, read
// and checked before anything is written.
#pragma once
#include <string>

#include "experiment/experiment.h"

struct SimOptions {
  ExperimentOptions run;   // a new run (its rules included)
  std::string resume;      // --resume DIR: go on with that run instead
  bool printParams = false;  // --print-params: print the rules and stop
  bool plain = false;        // --plain: the plain versions of the fast paths
};

// Reads the command line into options. Returns -1 when the runner is to go
// on, otherwise the status to exit with at once: 0 after printing the help,
// kExitBadUse after a one-line message on standard error. Picture options
// are refused when no picture layer is installed (makePictureOutputs).
int parseSimOptions(int argc, char** argv, SimOptions& options);
