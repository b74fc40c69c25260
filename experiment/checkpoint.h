// What a checkpoint holds beside its state file. The state file carries the
// tables, but energies and foodDivisor only to six decimals, and none of the
// run's own state: the resume file adds the exact bits of every energy and
// of foodDivisor, the random generator, every field of the simulation's
// state (SimulationState: the generation phase, the re-seeding flag and
// genome, the population count), and the census. Loading the state
// file and then restoring these gives the run exactly as it was.
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "experiment/output.h"
#include "experiment/runinfo.h"

// The simulation's state beyond the state file.
nlohmann::json captureSimulation();
// Puts it back (after the state file was loaded). Throws nlohmann::json's
// exceptions, or std::runtime_error, on a value that does not fit.
void restoreSimulation(const nlohmann::json& saved);

// The census: tallies, the next id, and the lineage of every Alive Unit.
nlohmann::json captureCensus();
void restoreCensus(const nlohmann::json& saved);

// What a resume file says, read and checked as far as it can be without the
// folder it lies in: the frame reached, the run, and the parts for the
// simulation, the census and each output (put back later, once the state
// file is loaded). Throws std::runtime_error, or nlohmann::json's
// exceptions, saying what is wrong.
constexpr const char* kResumeFormat = "tarn-sim resume 1";
struct ResumePoint {
  int64_t frame = 0;
  RunInfo run;
  nlohmann::json simulation, census, outputs;
};
ResumePoint readResumePoint(const std::string& text);

// The resume file of an experiment folder: "resume" in the folder.
std::string resumeFilePath(const std::string& folder);
