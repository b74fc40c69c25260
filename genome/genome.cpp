#include "genome/genome.h"

#include "genome/arith.h"
#include "units/units.h"

int32_t geneMin[kGeneCount];
int32_t geneMax[kGeneCount];
int32_t geneSeedLow[kGeneCount];
int32_t geneSeedHigh[kGeneCount];
int32_t geneMutationStep[kGeneCount];

namespace {
struct GeneRow { int32_t min, seedLow, seedHigh, max, step; };
constexpr GeneRow kGeneRows[kGeneCount] = {
    {1, 1, 79, 79, 10},            // 0 home anchor x
    {1, 1, 79, 79, 10},            // 1 home anchor y
    {30, 80, 255, 255, 10},        // 2 red
    {30, 80, 255, 255, 10},        // 3 green
    {1, 1, 40, 100, 5},            // 4 sowing period
    {1, 100, 200, 3000, 30},       // 5 energy to turn homeward
    {1, 1, 200, 300, 15},          // 6 energy to go back foraging
    {30, 80, 255, 255, 10},        // 7 blue
    {2, 10, 500, 1000, 15},        // 8 long-step distance
    {2, 2, 10, 40, 3},             // 9 long step
    {14, 14, 14, 14, 0},           // 10 movement cost
    {5, 400, 1200, 2000, 20},      // 11 sowing range
    {1, 200, 2000, 3000, 10},      // 12 kinship marker
    {50, 50, 50, 50, 0},           // 13 breeding stock
    {1, 2, 6, 20, 1},              // 14
    {1, 1, 40, 40, 10},            // 15
    {1, 100, 150, 500, 10},        // 16 home radius
    {1, 1, 79, 79, 10},            // 17 away anchor x
    {1, 1, 79, 79, 10},            // 18 away anchor y
    {1, 10, 20, 200, 10},          // 19 contact range
    {1, 10, 25, 25, 2},            // 20 seed cells (x-1, y-1) ...
    {1, 10, 25, 25, 2},            // 21
    {1, 10, 25, 25, 2},            // 22
    {1, 10, 25, 25, 2},            // 23
    {1, 10, 15, 15, 2},            // 24
    {1, 10, 25, 25, 2},            // 25
    {1, 10, 15, 15, 2},            // 26
    {1, 10, 15, 15, 2},            // 27
    {1, 10, 15, 15, 2},            // 28 seed cells at distance 2 ...
    {1, 10, 25, 25, 2},            // 29
    {1, 10, 25, 25, 2},            // 30
    {1, 10, 25, 25, 2},            // 31
    {10, 50, 200, 1000, 10},       // 32 return margin
    {5, 10, 80, 800, 10},          // 33 offspring mutation strength
    {3, 3, 30, 3000, 10},          // 34
    {60, 5000, 10000, 50000, 10},  // 35 lifespan
};
}  // namespace

void initGeneTable() {
  for (int g = 0; g < kGeneCount; ++g) {
    geneMin[g] = kGeneRows[g].min;
    geneSeedLow[g] = kGeneRows[g].seedLow;
    geneSeedHigh[g] = kGeneRows[g].seedHigh;
    geneMax[g] = kGeneRows[g].max;
    geneMutationStep[g] = kGeneRows[g].step;
  }
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

void randomGenome(Genome& genome) {
  for (int g = 0; g < kGeneCount; ++g) genome[g] = randomRange(geneSeedLow[g], geneSeedHigh[g]);
}

void mutateGene(int u, int g, int32_t amplitude) {
  int32_t r = randomRange(1, 1000);
  float f = (float)((double)(float)(r - 500) / 500.0);
  int32_t& gene = units.genome[u][g];
  gene = wrapAdd(gene, truncToInt((double)amplitude * (double)f));
  if (gene < geneMin[g]) gene = geneMin[g];
  if (gene > geneMax[g]) gene = geneMax[g];
}

void mutateGenome(int u, float factor) {
  for (int g = 0; g < kGeneCount; ++g)
    mutateGene(u, g, truncToInt((double)geneMutationStep[g] * (double)factor));
  const Genome& gn = units.genome[u];
  if (wrapSub(gn[5], gn[6]) <= 10) markDead(u, DeathCause::Unfit);
  int32_t reach = wrapAdd(gn[16], gn[32]);
  if (reach > gn[11]) markDead(u, DeathCause::Unfit);
  int64_t anchorDist = absDiff64(units.homeX[u], units.awayX[u]) + absDiff64(units.homeY[u], units.awayY[u]);
  if (anchorDist < reach) markDead(u, DeathCause::Unfit);
}

bool geneValueIsHigh(int g, int32_t value) {
  return value > (geneSeedLow[g] + geneSeedHigh[g]) / 2;
}

bool geneIsHigh(int u, int g) { return geneValueIsHigh(g, units.genome[u][g]); }

double genomeDistance(int a, int b) {
  int32_t sum = 0;
  for (int g = 0; g < kGeneCount; ++g)
    sum = wrapAdd(sum, wrapAbs(wrapSub(units.genome[a][g], units.genome[b][g])));
  return (double)sum / 36.0;
}
