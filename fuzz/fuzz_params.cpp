// Fuzz target: any bytes as a parameter file (TOML). The reader must refuse
// it with a one-line message that names the file, or take rules that keep
// every parameter within its bounds and each bound to the others; a file of
// them all, written back, reads as the same rules. One input in 64 (by its
// hash, so that a finding reproduces from its file) runs the world for some
// frames under the rules it gives, with the sanitizers watching.
#include <string>

#include "fuzz/reference.h"
#include "persist/paramfile.h"
#include "units/units.h"

namespace {

[[noreturn]] void fail(const char* what) { fuzzFail("fuzz_params", what, -1); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text((const char*)data, size);
  SimulationParams p;
  std::string error;
  if (!readRulesText(text, "rules.toml", &p, &error)) {
    if (error.compare(0, 11, "rules.toml:") != 0) fail("a refusal that does not name the file and line");
    if (error.find('\n') != std::string::npos) fail("a refusal of more than one line");
    return 0;
  }
  if (!brokenRelation(p).empty()) fail("rules taken that bound each other wrongly");
  forEachParam([&](const ParamInfo& info, auto field) {
    if (!info.fits(field(p))) fail("a parameter out of its bounds");
  });
  SimulationParams back;
  if (!readRulesText(paramFileText(p), "params.toml", &back, &error) || !sameParams(back, p))
    fail("the rules written back read otherwise");
  if (inputHash(data, size) % 64 == 0) {
    rules = p;
    resetSimulation();
    seedRandom(7);
    for (int frame = 0; frame < 300; ++frame) simulateFrame(), regulatePopulation();
    rules = SimulationParams{};
  }
  return 0;
}
