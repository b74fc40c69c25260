#include "record/checkpoint.h"

#include <algorithm>
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

template <typename T>
T within(const json& value, T low, T high, const char* what) {
  T v = value.get<T>();
  if (v < low || v > high) throw std::runtime_error(std::string(what) + " is out of range");
  return v;
}

json tallyJson(const Tally& t) {
  json deaths = json::array();
  for (int64_t d : t.deaths) deaths.push_back(d);
  return {{"births", t.births}, {"seeded", t.seeded}, {"deaths", deaths}};
}

Tally tallyFrom(const json& j) {
  Tally t;
  t.births = j.at("births").get<int64_t>();
  t.seeded = j.at("seeded").get<int64_t>();
  const json& deaths = j.at("deaths");
  if (deaths.size() != (size_t)kDeathCauseCount) throw std::runtime_error("the death tally is incomplete");
  for (int c = 0; c < kDeathCauseCount; ++c) t.deaths[c] = deaths.at((size_t)c).get<int64_t>();
  return t;
}

}  // namespace

json captureSimulation() {
  json energy = json::array();
  for (int u = 0; u < kMaxUnits; ++u) energy.push_back(floatBits(units.energy[u]));
  return {{"random_state", randomState},
          {"generation_phase", generationPhase},
          {"reseeding", reseeding},
          {"living_count", livingCount},
          {"reseed_genome", reseedGenome},
          {"reseed_genome_drawn", reseedGenomeDrawn},
          {"food_divisor_bits", floatBits(foodDivisor)},
          {"energy_bits", energy}};
}

void restoreSimulation(const json& saved) {
  const json& energy = saved.at("energy_bits");
  if (energy.size() != (size_t)kMaxUnits) throw std::runtime_error("the energies are incomplete");
  const json& genome = saved.at("reseed_genome");
  if (genome.size() != (size_t)kGeneCount) throw std::runtime_error("the re-seed genome is incomplete");
  // Everything is read before anything is changed.
  const uint32_t state = saved.at("random_state").get<uint32_t>();
  const int32_t phase = within<int32_t>(saved.at("generation_phase"), 0, 2, "the generation phase");
  const int32_t seeding = within<int32_t>(saved.at("reseeding"), 0, 1, "the re-seeding flag");
  const int32_t living = saved.at("living_count").get<int32_t>();
  const Genome reseed = genome.get<Genome>();
  const bool drawn = saved.at("reseed_genome_drawn").get<bool>();
  const uint32_t divisor = saved.at("food_divisor_bits").get<uint32_t>();
  float energies[kMaxUnits];
  for (int u = 0; u < kMaxUnits; ++u) energies[u] = bitsFloat(energy.at((size_t)u).get<uint32_t>());

  randomState = state;
  generationPhase = phase;
  reseeding = seeding;
  livingCount = living;
  reseedGenome = reseed;
  reseedGenomeDrawn = drawn;
  foodDivisor = bitsFloat(divisor);
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
  const int64_t next = saved.at("next_id").get<int64_t>();
  Lineage restored[kMaxUnits];
  for (const json& entry : saved.at("living")) {
    const int slot = within<int>(entry.at(0), 0, kMaxUnits - 1, "a slot");
    const int64_t id = within<int64_t>(entry.at(1), 0, next - 1, "an id");
    restored[slot] = {id, entry.at(2).get<int64_t>(), entry.at(3).get<int64_t>()};
  }
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive && restored[u].id < 0) throw std::runtime_error("a living Unit has no id");
  rowTally = row;
  runTally = run;
  nextUnitId = next;
  std::copy(restored, restored + kMaxUnits, lineage);
}

std::string resumeFilePath(const std::string& folder) { return folder + "/resume"; }
