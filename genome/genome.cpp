#include "genome/genome.h"

#include <utility>

#include "genome/arith.h"

namespace {
struct GeneRow {
  const char *name, *meaning;
  int32_t min, seedLow, seedHigh, max, step;
};
constexpr GeneRow kGeneRows[kGeneCount] = {
    {"home_x", "home anchor x: where the Unit breeds, across the field",
     1, 1, 79, 79, 10},  // 0
    {"home_y", "home anchor y",
     1, 1, 79, 79, 10},  // 1
    {"red", "red of the Unit's colour",
     30, 80, 255, 255, 10},  // 2
    {"green", "green of the Unit's colour",
     30, 80, 255, 255, 10},  // 3
    {"sow_period", "ticks from one sowing to the next",
     1, 1, 40, 100, 5},  // 4
    {"homeward_energy", "energy at which a foraging Unit turns homeward (and a loaded slot's energy)",
     1, 100, 200, 3000, 30},  // 5
    {"forage_energy", "energy below which a travelling Unit forages again; a newborn gets 2.3 times it",
     1, 1, 200, 300, 15},  // 6
    {"blue", "blue of the Unit's colour",
     30, 80, 255, 255, 10},  // 7
    {"long_step_distance", "distance to the target beyond which the Unit takes its long step",
     2, 10, 500, 1000, 15},  // 8
    {"long_step", "length of the long step",
     2, 2, 10, 40, 3},  // 9
    {"move_cost", "energy a step costs, in sixtieths (fixed)",
     14, 14, 14, 14, 0},  // 10
    {"sow_range", "a travelling Unit sows while its target is nearer than this",
     5, 400, 1200, 2000, 20},  // 11
    {"kin", "kinship marker: Units whose markers differ by more than 20 fight on contact",
     1, 200, 2000, 3000, 10},  // 12
    {"breed_stock", "stock above which a homeward Unit breeds (fixed)",
     50, 50, 50, 50, 0},  // 13
    {"spare_14", "drives no behaviour",
     1, 2, 6, 20, 1},  // 14
    {"spare_15", "drives no behaviour",
     1, 1, 40, 40, 10},  // 15
    {"home_radius", "a homeward Unit this close to home turns outward",
     1, 100, 150, 500, 10},  // 16
    {"away_x", "away anchor x: the far end of the Unit's round",
     1, 1, 79, 79, 10},  // 17
    {"away_y", "away anchor y",
     1, 1, 79, 79, 10},  // 18
    {"contact_range", "a foreign Unit nearer than this is fought",
     1, 10, 20, 200, 10},  // 19
    {"seed_nw", "seed cell (x-1, y-1), planted when above 12",
     1, 10, 25, 25, 2},  // 20
    {"seed_n", "seed cell (x, y-1), planted when above 12",
     1, 10, 25, 25, 2},  // 21
    {"seed_ne", "seed cell (x+1, y-1), planted when above 12",
     1, 10, 25, 25, 2},  // 22
    {"seed_e", "seed cell (x+1, y), planted when above 12",
     1, 10, 25, 25, 2},  // 23
    {"seed_se", "seed cell (x+1, y+1), planted when above 12",
     1, 10, 15, 15, 2},  // 24
    {"seed_s", "seed cell (x, y+1), planted when above 12",
     1, 10, 25, 25, 2},  // 25
    {"seed_sw", "seed cell (x-1, y+1), planted when above 12",
     1, 10, 15, 15, 2},  // 26
    {"seed_w", "seed cell (x-1, y), planted when above 12",
     1, 10, 15, 15, 2},  // 27
    {"seed_n2", "seed cell (x, y-2), planted when above 5",
     1, 10, 15, 15, 2},  // 28
    {"seed_s2", "seed cell (x, y+2), planted when above 5",
     1, 10, 25, 25, 2},  // 29
    {"seed_w2", "seed cell (x-2, y), planted when above 5",
     1, 10, 25, 25, 2},  // 30
    {"seed_e2", "seed cell (x+2, y), planted when above 5",
     1, 10, 25, 25, 2},  // 31
    {"return_margin", "an outward Unit turns homeward once its distance from home less this reaches home_radius",
     10, 50, 200, 1000, 10},  // 32
    {"mutation", "mutation strength given to the offspring: gene / 30",
     5, 10, 80, 800, 10},  // 33
    {"spare_34", "drives no behaviour",
     3, 3, 30, 3000, 10},  // 34
    {"lifespan", "a Unit older than this many ticks dies",
     60, 5000, 10000, 50000, 10},  // 35
};

template <size_t... G>
constexpr std::array<GeneInfo, kGeneCount> geneInfos(std::index_sequence<G...>) {
  return {{{kGeneRows[G].name, kGeneRows[G].meaning}...}};
}

template <size_t... G>
constexpr GeneTable geneTable(std::index_sequence<G...>) {
  return {{kGeneRows[G].min...}, {kGeneRows[G].seedLow...}, {kGeneRows[G].seedHigh...}, {kGeneRows[G].max...},
          {kGeneRows[G].step...}};
}
}  // namespace

const std::array<GeneInfo, kGeneCount> kGenes = geneInfos(std::make_index_sequence<kGeneCount>());

const GeneTable& designGeneTable() {
  static constexpr GeneTable table = geneTable(std::make_index_sequence<kGeneCount>());
  return table;
}

uint32_t randomState = 0;

void seedRandom(uint32_t seed) { randomState = seed; }

int32_t rawRandom() {
  randomState = randomState * 214013u + 2531011u;
  return (int32_t)((randomState >> 16) & 0x7FFF);
}

int32_t randomRange(int32_t low, int32_t high) {
  float d = (float)wrapSub(high, low);
  int32_t r = rawRandom();
  return wrapAdd(low, truncToInt((double)r / 32767.0 * (double)d));
}

void randomGenome(Genome& genome, const GeneTable& table) {
  for (int g = 0; g < kGeneCount; ++g) genome[g] = randomRange(table.seedLow[g], table.seedHigh[g]);
}

void mutateGene(Genome& genome, int g, int32_t amplitude, const GeneTable& table) {
  int32_t r = randomRange(1, 1000);
  float f = (float)((double)(float)(r - 500) / 500.0);
  int32_t& gene = genome[g];
  gene = wrapAdd(gene, truncToInt((double)amplitude * (double)f));
  if (gene < table.min[g]) gene = table.min[g];
  if (gene > table.max[g]) gene = table.max[g];
}

void mutateGenome(Genome& genome, float factor, const GeneTable& table) {
  for (int g = 0; g < kGeneCount; ++g)
    mutateGene(genome, g, truncToInt((double)table.step[g] * (double)factor), table);
}

bool geneValueIsHigh(int g, int32_t value, const GeneTable& table) {
  return value > ((int64_t)table.seedLow[g] + table.seedHigh[g]) / 2;
}

double genomeDistance(const Genome& a, const Genome& b) {
  int32_t sum = 0;
  for (int g = 0; g < kGeneCount; ++g) sum = wrapAdd(sum, wrapAbs(wrapSub(a[g], b[g])));
  return (double)sum / 36.0;
}
