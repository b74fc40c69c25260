// Fuzz target: any bytes as a checkpoint's resume file. Whatever they hold,
// reading them ends either in a message (an exception) or in a run put back
// exactly as the file says: the simulation's state and the census are
// restored into a living world, and what they then hold must read back as
// the file's values; a tree of the living in it is taken whole or refused.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/reference.h"
#include "experiment/checkpoint.h"
#include "record/census.h"
#include "record/phylodiversity.h"
#include "units/units.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetSimulation();
  seedRandom(5);
  for (int frame = 0; frame < 200; ++frame) simulateFrame(), regulatePopulation();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const ResumePoint point = readResumePoint(std::string((const char*)data, size));
    startCensus();
    restoreSimulation(point.simulation);
    restoreCensus(point.census);
    stopCensus();
    const nlohmann::json simulation = captureSimulation(), census = captureCensus();
    for (const auto& part : simulation.items())
      if (part.value() != point.simulation.at(part.key())) fuzzFail("fuzz_resume", part.key().c_str(), 0);
    for (const char* part : {"row", "run", "next_id"})
      if (census.at(part) != point.census.at(part)) fuzzFail("fuzz_resume", part, 0);
    if (point.outputs.contains("phylodiversity.csv") && point.outputs.at("phylodiversity.csv").contains("tree")) {
      LivingTree tree;
      tree.restore(point.outputs.at("phylodiversity.csv").at("tree"));
      tree.settle();
      tree.figures();
      tree.newick();
    }
  } catch (const std::exception&) {
    stopCensus();  // refused with a message: the runner stops there
  }
  return 0;
}
