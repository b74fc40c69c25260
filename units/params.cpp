#include "units/params.h"

#include <charconv>
#include <cmath>
#include <cstring>

SimulationParams rules;

bool ParamInfo::fits(double value) const {
  if (kind == Whole) return false;
  const bool fitsDouble = std::isfinite(value) && value > 0;
  return kind == Real ? fitsDouble : fitsDouble && std::isfinite((float)value) && (float)value > 0;
}

std::string paramValueText(int32_t value) { return std::to_string(value); }

std::string paramValueText(double value) {
  char text[64];
  const char* end = std::to_chars(text, text + sizeof text, value).ptr;
  std::string out(text, (size_t)(end - text));
  if (out.find_first_of(".e") == std::string::npos) out += ".0";
  return out;
}

std::string brokenRelation(const SimulationParams& p, std::pair<std::string, std::string>* names) {
  auto broken = [&](const std::string& low, int64_t lowValue, const char* relation, const std::string& high,
                    int64_t highValue) {
    if (names) *names = {low, high};
    return low + " = " + std::to_string(lowValue) + " must be " + relation + " " + high + " = " +
           std::to_string(highValue);
  };
  if (p.reseedAt >= p.reseedUntil)
    return broken("regulation.reseed_at", p.reseedAt, "below", "regulation.reseed_until", p.reseedUntil);
  if (p.reseedUntil > p.cullAt)
    return broken("regulation.reseed_until", p.reseedUntil, "at most", "regulation.cull_at", p.cullAt);
  for (int g = 0; g < kGeneCount; ++g) {
    const std::string gene = std::string("genes.") + kGenes[(size_t)g].name;
    const GeneTable& t = p.genes;
    if (t.min[g] > t.seedLow[g]) return broken(gene + ".min", t.min[g], "at most", gene + ".seed_low", t.seedLow[g]);
    if (t.seedLow[g] > t.seedHigh[g])
      return broken(gene + ".seed_low", t.seedLow[g], "at most", gene + ".seed_high", t.seedHigh[g]);
    if (t.seedHigh[g] > t.max[g]) return broken(gene + ".seed_high", t.seedHigh[g], "at most", gene + ".max", t.max[g]);
  }
  return "";
}

namespace {

bool same(int32_t a, int32_t b) { return a == b; }
bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

std::vector<std::pair<std::string, std::string>> differingParams(const SimulationParams& p) {
  static const SimulationParams defaults;
  std::vector<std::pair<std::string, std::string>> differing;
  forEachParam([&](const ParamInfo& info, auto field) {
    if (!same(field(p), field(defaults))) differing.emplace_back(info.name, paramValueText(field(p)));
  });
  return differing;
}

bool sameParams(const SimulationParams& a, const SimulationParams& b) {
  bool equal = true;
  forEachParam([&](const ParamInfo&, auto field) { equal = equal && same(field(a), field(b)); });
  return equal;
}
