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
// no behaviour) and what it drives.
struct GeneInfo {
  const char* name;
  const char* meaning;
};
extern const std::array<GeneInfo, kGeneCount> kGenes;

// Per gene: the clamp a mutation ends with (min, max), the range of a random
// gene (seedLow, seedHigh) and the mutation step. The table a world runs
// under is part of its rules (units/params.h); the world was made with
// designGeneTable().
struct GeneTable {
  int32_t min[kGeneCount];
  int32_t seedLow[kGeneCount];
  int32_t seedHigh[kGeneCount];
  int32_t max[kGeneCount];
  int32_t step[kGeneCount];
};
const GeneTable& designGeneTable();

// The process-wide generator: a 32-bit linear congruential state.
extern uint32_t randomState;
void seedRandom(uint32_t seed);
int32_t rawRandom();  // 0 to 32767
int32_t randomRange(int32_t low, int32_t high);

// Each gene drawn from its seed range, in gene order.
void randomGenome(Genome& genome, const GeneTable& table);
// Adds trunc(amplitude * f) to gene g, f a draw from -0.998 to 1.0, then
// clamps the gene to its bounds (amplitude 0 still clamps).
void mutateGene(Genome& genome, int g, int32_t amplitude, const GeneTable& table);
// Every gene mutated in order, with its mutation step times factor as the
// amplitude. Whether the result can live is the Units' business.
void mutateGenome(Genome& genome, float factor, const GeneTable& table);

// The per-gene trait bit: the value lies strictly above the midpoint of the
// gene's seed range (the halved sum, truncated toward zero).
bool geneValueIsHigh(int g, int32_t value, const GeneTable& table);
// The mean absolute difference of the genes.
double genomeDistance(const Genome& a, const Genome& b);
