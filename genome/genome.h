// Genomes, the gene table and the one random primitive of the simulation.
#pragma once
#include <array>
#include <cstdint>

constexpr int kGeneCount = 36;
using Genome = std::array<int32_t, kGeneCount>;

// The genes by name: what the code reads a gene by.
enum Gene : int {
  kGeneHomeX = 0, kGeneHomeY = 1, kGeneRed = 2, kGeneGreen = 3, kGeneSowPeriod = 4, kGeneHomewardEnergy = 5,
  kGeneForageEnergy = 6, kGeneBlue = 7, kGeneLongStepDistance = 8, kGeneLongStep = 9, kGeneMoveCost = 10,
  kGeneSowRange = 11, kGeneKin = 12, kGeneBreedStock = 13, kGeneSpare14 = 14, kGeneSpare15 = 15,
  kGeneHomeRadius = 16, kGeneAwayX = 17, kGeneAwayY = 18, kGeneContactRange = 19,
  kGeneSeedFirst = 20,  // 20 to 31: the twelve seed cells of the sowing pattern
  kGeneReturnMargin = 32, kGeneMutation = 33, kGeneSpare34 = 34, kGeneLifespan = 35,
};

// A gene's short name (home_x, ..., lifespan; spare_14 for one that drives
// no behaviour), what it drives, and its bounds.
struct GeneInfo {
  const char* name;
  const char* meaning;
  int32_t min, max;
};
extern const std::array<GeneInfo, kGeneCount> kGenes;

// Per-gene clamp, seed range and mutation step, filled by initGeneTable.
extern int32_t geneMin[kGeneCount];
extern int32_t geneMax[kGeneCount];
extern int32_t geneSeedLow[kGeneCount];
extern int32_t geneSeedHigh[kGeneCount];
extern int32_t geneMutationStep[kGeneCount];

void initGeneTable();

// The process-wide generator: a 32-bit linear congruential state.
extern uint32_t randomState;
void seedRandom(uint32_t seed);
int32_t rawRandom();  // 0 to 32767
int32_t randomRange(int32_t low, int32_t high);

void randomGenome(Genome& genome);
// Adds trunc(amplitude * f) to gene g, f a draw from -0.998 to 1.0, then
// clamps the gene to its bounds (amplitude 0 still clamps).
void mutateGene(Genome& genome, int g, int32_t amplitude);
// Every gene mutated in order, with its mutation step times factor as the
// amplitude. Whether the result can live is the Units' business.
void mutateGenome(Genome& genome, float factor);

// The per-gene trait bit: the value lies strictly above its seed midpoint.
bool geneValueIsHigh(int g, int32_t value);
// The mean absolute difference of the genes.
double genomeDistance(const Genome& a, const Genome& b);
