// tarn-sim: the simulation without display or input, for long experiments.
//
// Each frame is the simulation part of a running frame of the interactive
// program with no input: the Life generation every third frame, reaping, the
// Unit ticks in slot order, the random sowing event, then the population
// regulation. The command line is read in app/sim_options.cpp; the run itself,
// its outputs and checkpoints are in experiment/.
#include <csignal>
#include <cstdio>

#include "app/sim_options.h"
#include "app/startup.h"
#include "persist/paramfile.h"
#include "experiment/experiment.h"
#include "report/page.h"
#include "units/params.h"
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

}  // namespace

int main(int argc, char** argv) {
  installSignals();
#ifdef TARN_PICTURES
  makePictureOutputs = makeRunPictureOutputs;
  writeGlyphPicture = writeGlyphPng;
#endif
  SimOptions options;
  const int status = parseSimOptions(argc, argv, options);
  if (status >= 0) return status;
  usePlainPaths = options.plain;
  if (options.printParams) {
    std::fputs(paramFileText(options.run.rules).c_str(), stdout);
    return std::fflush(stdout) == 0 ? kExitDone : kExitOutputFailed;
  }
  if (!options.resume.empty())
    return resumeExperiment(options.resume, options.run.quiet, options.run.commandLine, &stopSignal);
  return runExperiment(options.run, &stopSignal);
}
