// Genomes, the gene table and the one random primitive of the simulation.
#pragma once
#include <array>
#include <cstdint>

constexpr int kGeneCount = 36;
using Genome = std::array<int32_t, kGeneCount>;

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
void mutateGene(int u, int g, int32_t amplitude);
void mutateGenome(int u, float factor);

// The per-gene trait bit: the value lies strictly above its seed midpoint.
bool geneValueIsHigh(int g, int32_t value);
bool geneIsHigh(int u, int g);
double genomeDistance(int a, int b);
