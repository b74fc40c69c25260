// Parameter files: the world's rules (units/params.h) in TOML, as a user
// writes them and as an experiment folder keeps them (params.toml), and the
// single values of --set NAME=VALUE.
//
//   [regulation]
//   cull_at = 400
//   [genes.lifespan]
//   max = 20000
//
// A file names only the parameters it changes; params.toml names them all.
#pragma once
#include <string>
#include <vector>

#include "units/params.h"

// The rules of a run: the defaults, then the parameter file (when file is
// not empty), then each setting "NAME=VALUE" in turn, then the checks of how
// the parameters bound each other. False, with a one-line message in
// *error that names the file and line (or the setting) and the parameter:
// an unknown name (with the nearest known one), a value of the wrong kind
// or out of bounds, a file that cannot be read or is not TOML.
bool readRules(const std::string& file, const std::vector<std::string>& settings, SimulationParams* out,
               std::string* error);

// The same for a file's text, read as the file name: what readRules does
// with a file once it is read (and what the fuzzer feeds).
bool readRulesText(const std::string& text, const std::string& name, SimulationParams* out, std::string* error);

// A parameter file that names every parameter of p, with a line of meaning
// for each: read back, it gives p exactly.
std::string paramFileText(const SimulationParams& p);
