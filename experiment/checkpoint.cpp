#include "experiment/checkpoint.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "record/census.h"
#include "units/units.h"

using nlohmann::json;

namespace {

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float bitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int64_t count(const json& value, const char* what) { return wholeNumber(value, 0, INT64_MAX, what); }
uint32_t bits(const json& value, const char* what) { return (uint32_t)wholeNumber(value, 0, UINT32_MAX, what); }

json tallyJson(const Tally& t) {
  json deaths = json::array();
  for (int64_t d : t.deaths) deaths.push_back(d);
  return {{"births", t.births}, {"seeded", t.seeded}, {"deaths", deaths}};
}

Tally tallyFrom(const json& j) {
  Tally t;
  t.births = count(j.at("births"), "a count of births");
  t.seeded = count(j.at("seeded"), "a count of seeded Units");
  const json& deaths = j.at("deaths");
  if (deaths.size() != (size_t)kDeathCauseCount) throw std::runtime_error("the death tally is incomplete");
  for (int c = 0; c < kDeathCauseCount; ++c) t.deaths[c] = count(deaths.at((size_t)c), "a count of deaths");
  return t;
}

// A field of SimulationState as a resume file holds it: floats by their
// bits, so that they come back exactly.
json fieldJson(float value) { return floatBits(value); }
json fieldJson(int32_t value) { return value; }
json fieldJson(bool value) { return value; }
json fieldJson(const Genome& genome) { return genome; }

void readField(const json& j, float& out, int64_t, int64_t, const char* what) { out = bitsFloat(bits(j, what)); }
void readField(const json& j, int32_t& out, int64_t low, int64_t high, const char* what) {
  out = (int32_t)wholeNumber(j, low, high, what);
}
void readField(const json& j, bool& out, int64_t, int64_t, const char*) { out = j.get<bool>(); }
void readField(const json& j, Genome& out, int64_t, int64_t, const char* what) {
  if (j.size() != (size_t)kGeneCount) throw std::runtime_error(std::string(what) + " is incomplete");
  for (int g = 0; g < kGeneCount; ++g) out[g] = (int32_t)wholeNumber(j.at((size_t)g), INT32_MIN, INT32_MAX, "a gene");
}

}  // namespace

json captureSimulation() {
  json saved = {{"random_state", randomState}};
  forEachStateField([&](const char* name, auto member, int64_t, int64_t, const char*) {
    saved[name] = fieldJson(simulation.*member);
  });
  json energy = json::array();
  for (int u = 0; u < kMaxUnits; ++u) energy.push_back(floatBits(units.energy[u]));
  saved["energy_bits"] = energy;
  return saved;
}

void restoreSimulation(const json& saved) {
  const json& energy = saved.at("energy_bits");
  if (energy.size() != (size_t)kMaxUnits) throw std::runtime_error("the energies are incomplete");
  // Everything is read before anything is changed.
  const uint32_t state = bits(saved.at("random_state"), "the random generator");
  SimulationState restored;
  forEachStateField([&](const char* name, auto member, int64_t low, int64_t high, const char* what) {
    readField(saved.at(name), restored.*member, low, high, what);
  });
  float energies[kMaxUnits];
  for (int u = 0; u < kMaxUnits; ++u) energies[u] = bitsFloat(bits(energy.at((size_t)u), "an energy"));

  randomState = state;
  simulation = restored;
  std::memcpy(units.energy, energies, sizeof energies);
}

json captureCensus() {
  json living = json::array();
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) living.push_back({u, lineage[u].id, lineage[u].parent, lineage[u].origin});
  return {{"row", tallyJson(rowTally)}, {"run", tallyJson(runTally)}, {"next_id", nextUnitId}, {"living", living}};
}

void restoreCensus(const json& saved) {
  const Tally row = tallyFrom(saved.at("row"));
  const Tally run = tallyFrom(saved.at("run"));
  const int64_t next = count(saved.at("next_id"), "the next id");
  Lineage restored[kMaxUnits];
  for (const json& entry : saved.at("living")) {
    const int slot = (int)wholeNumber(entry.at(0), 0, kMaxUnits - 1, "a slot");
    const int64_t id = wholeNumber(entry.at(1), 0, next - 1, "an id");
    restored[slot] = {id, wholeNumber(entry.at(2), -1, id - 1, "a parent's id"),
                      count(entry.at(3), "a frame of arrival")};
  }
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && restored[u].id < 0) throw std::runtime_error("a living Unit has no id");
  rowTally = row;
  runTally = run;
  nextUnitId = next;
  std::copy(restored, restored + kMaxUnits, lineage);
}

ResumePoint readResumePoint(const std::string& text) {
  const json saved = json::parse(text);
  if (saved.at("format").get<std::string>() != kResumeFormat)
    throw std::runtime_error("it was written by another version");
  ResumePoint point;
  point.frame = wholeNumber(saved.at("frame"), 0, INT64_MAX, "the frame");
  point.run = runInfoFrom(saved.at("run"));
  if (point.frame > point.run.frames) throw std::runtime_error("its frame is out of range");
  point.simulation = saved.at("simulation");
  point.census = saved.at("census");
  point.outputs = saved.at("outputs");
  if (!point.outputs.is_object()) throw std::runtime_error("its outputs are not named");
  return point;
}

std::string resumeFilePath(const std::string& folder) { return folder + "/resume"; }
