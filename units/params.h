// The world's rules: the thresholds of population regulation, the kin
// tolerance of contests and the gene table, each a named parameter whose
// default is the value the world was made with. A run's rules are set before
// its first frame (a parameter file, --set) and stay as they are while it
// runs; the simulation reads them from `rules` alone. They are no part of the
// state file: an experiment folder keeps them in params.toml, a checkpoint
// in its resume file.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "genome/genome.h"

struct SimulationParams {
  int32_t reseedAt = 4;          // re-seeding starts when the living count is at most this
  int32_t reseedUntil = 100;     // and ends once it is above this
  int32_t cullAt = 800;          // a cull runs when the living count is above this
  int32_t cullUnitsSpared = 10;  // in a cull an Alive Unit dies when randomRange(0, 100) is above this
  int32_t cullCellsSpared = 30;  // and a cell is cleared when randomRange(0, 100) is above this
  double foodStart = 0.5;        // what a re-seed sets foodDivisor to (held there as a float)
  double foodStep = 0.05;        // what a cull and the space bar add to foodDivisor
  int32_t sowChance = 30;        // the random sowing event fires when randomRange(0, this) is 1
  int32_t kinTolerance = 20;     // Units whose kin markers differ by more than this fight on contact
  GeneTable genes = designGeneTable();
};

// The rules the simulation runs under: the defaults until a program sets them.
extern SimulationParams rules;

// A parameter: its name in a parameter file ("regulation.cull_at",
// "genes.lifespan.max"), what it means, and the values it may take on its
// own: whole numbers from low to high, or real numbers, finite and above 0
// (and, for one held as a float, still so as a float). How parameters bound
// each other is checked by brokenRelation.
struct ParamInfo {
  enum Kind { Whole, Real, Float };
  std::string name;
  const char* meaning;
  Kind kind;
  int64_t low, high;

  bool fits(int64_t value) const { return kind == Whole && value >= low && value <= high; }
  bool fits(int32_t value) const { return fits((int64_t)value); }
  bool fits(double value) const;
};

// Calls visit(info, field) for every parameter, in the order of a
// parameter file: field(p) is the parameter's member of a SimulationParams
// p (an int32_t or a double, const when p is). Everything that reads,
// writes, compares or records the rules goes through this one list.
template <typename Visit>
void forEachParam(Visit&& visit) {
  static_assert(sizeof(SimulationParams) == 5 * 4 + 4 /* padding */ + 2 * 8 + 2 * 4 + sizeof(GeneTable),
                "a field added to SimulationParams needs its line below (and then this size)");
  constexpr int64_t kWhole = INT32_MAX, kPercent = 100, kUnits = 1000;
  visit(ParamInfo{"regulation.reseed_at", "re-seeding starts when the living count is at most this", ParamInfo::Whole, 0, kUnits},
        [](auto& p) -> auto& { return p.reseedAt; });
  visit(ParamInfo{"regulation.reseed_until", "re-seeding ends once the living count is above this", ParamInfo::Whole, 0, kUnits},
        [](auto& p) -> auto& { return p.reseedUntil; });
  visit(ParamInfo{"regulation.cull_at", "a cull runs when the living count is above this (1000: never)",
                  ParamInfo::Whole, 0, kUnits},
        [](auto& p) -> auto& { return p.cullAt; });
  visit(ParamInfo{"regulation.cull_units_spared", "in a cull an Alive Unit dies when randomRange(0, 100) is above this",
                  ParamInfo::Whole, 0, kPercent},
        [](auto& p) -> auto& { return p.cullUnitsSpared; });
  visit(ParamInfo{"regulation.cull_cells_spared", "in a cull a cell is cleared when randomRange(0, 100) is above this",
                  ParamInfo::Whole, 0, kPercent},
        [](auto& p) -> auto& { return p.cullCellsSpared; });
  visit(ParamInfo{"regulation.food_start", "foodDivisor after a re-seed (a bite of n cells is worth n / foodDivisor)",
                  ParamInfo::Float, 0, 0},
        [](auto& p) -> auto& { return p.foodStart; });
  visit(ParamInfo{"regulation.food_step", "what each cull and the space bar add to foodDivisor", ParamInfo::Real, 0,
                  0},
        [](auto& p) -> auto& { return p.foodStep; });
  visit(ParamInfo{"regulation.sow_chance", "the random sowing event fires when randomRange(0, this) is 1", ParamInfo::Whole,
                  1, 32767},
        [](auto& p) -> auto& { return p.sowChance; });
  visit(ParamInfo{"contests.kin_tolerance", "two Units fight on contact when their kin markers differ by more than this",
                  ParamInfo::Whole, 0, kWhole},
        [](auto& p) -> auto& { return p.kinTolerance; });
  for (int g = 0; g < kGeneCount; ++g) {
    const std::string gene = std::string("genes.") + kGenes[(size_t)g].name;
    visit(ParamInfo{gene + ".min", "the least value a mutation leaves", ParamInfo::Whole, INT32_MIN, kWhole},
          [g](auto& p) -> auto& { return p.genes.min[g]; });
    visit(ParamInfo{gene + ".seed_low", "the least value of a random gene", ParamInfo::Whole, INT32_MIN, kWhole},
          [g](auto& p) -> auto& { return p.genes.seedLow[g]; });
    visit(ParamInfo{gene + ".seed_high", "the greatest value of a random gene", ParamInfo::Whole, INT32_MIN, kWhole},
          [g](auto& p) -> auto& { return p.genes.seedHigh[g]; });
    visit(ParamInfo{gene + ".max", "the greatest value a mutation leaves", ParamInfo::Whole, INT32_MIN, kWhole},
          [g](auto& p) -> auto& { return p.genes.max[g]; });
    visit(ParamInfo{gene + ".step", "the mutation step, before the parent's strength factor", ParamInfo::Whole, 0, kWhole},
          [g](auto& p) -> auto& { return p.genes.step[g]; });
  }
}

// A parameter's value as a parameter file writes it: a whole number in
// digits, a real number in the fewest digits that read back as the same
// double (with a point, as TOML wants: 0.5, 1.0, 1e+20).
std::string paramValueText(int32_t value);
std::string paramValueText(double value);

// Whether the rules, each within its own bounds, also bound each other
// as they must: 0 <= reseed_at < reseed_until <= cull_at <= 1000, each
// gene's min <= seed_low <= seed_high <= max. Empty when they do, else the
// first relation broken, with the names involved in *names (the lower
// first).
std::string brokenRelation(const SimulationParams& p, std::pair<std::string, std::string>* names = nullptr);

// The parameters of p that differ from the defaults, with their values'
// texts, in the order of forEachParam.
std::vector<std::pair<std::string, std::string>> differingParams(const SimulationParams& p);
// Whether a and b hold the same rules (real numbers by their bits).
bool sameParams(const SimulationParams& a, const SimulationParams& b);
