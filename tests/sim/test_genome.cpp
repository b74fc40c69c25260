// The random primitive and the genome operations: the generator's values,
// randomRange at its edges, random genomes, mutation with its clamps and
// viability checks, the trait bits and the distance between genomes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <vector>

#include "genome/genome.h"
#include "units/units.h"

namespace {

constexpr uint32_t kMultiplier = 214013u, kIncrement = 2531011u;

// The generator's state after n more draws, stepped here by hand.
uint32_t advanced(uint32_t state, int n) {
  while (n-- > 0) state = state * kMultiplier + kIncrement;
  return state;
}

// Sets the generator so that its next raw number is r: the state that the
// step maps onto r << 16, found through the multiplier's inverse mod 2^32.
void forceNextRaw(int32_t r) {
  uint32_t inverse = kMultiplier;  // Newton's iteration doubles the correct low bits each time
  for (int i = 0; i < 5; ++i) inverse *= 2u - kMultiplier * inverse;
  randomState = (((uint32_t)r << 16) - kIncrement) * inverse;
}

// Raw numbers that make randomRange(1, 1000) give the r named, worked out
// from 1 + trunc(raw / 32767 * 999).
constexpr int32_t kRawFor1 = 0, kRawFor2 = 33, kRawFor500 = 16368, kRawFor850 = 27848, kRawFor1000 = 32767;

class GenomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initGeneTable();
    resetUnitTable();
    seedRandom(1);
  }
  void TearDown() override { resetUnitTable(); }
  // A Unit in slot u with every gene at its seed midpoint.
  static void middleGenome(int u) {
    for (int g = 0; g < kGeneCount; ++g) units.genome[u][g] = (geneSeedLow[g] + geneSeedHigh[g]) / 2;
    units.status[u] = Alive;
  }
};

class RandomTest : public GenomeTest {};

}  // namespace

TEST_F(RandomTest, GeneratorFirstValues) {
  struct { uint32_t seed; int32_t first[5]; } runs[] = {
      {0, {38, 7719, 21238, 2437, 8855}},
      {1, {41, 18467, 6334, 26500, 19169}},
      {42, {175, 400, 17869, 30056, 16083}},
      {12345, {7584, 19164, 25795, 22125, 5828}},
      {0xFFFFFFFFu, {35, 29739, 3374, 11141, 31308}},
      // Bit 31 of the state never reaches the 15 bits drawn.
      {0x80000000u, {38, 7719, 21238, 2437, 8855}},
  };
  for (auto& run : runs) {
    seedRandom(run.seed);
    EXPECT_EQ(randomState, run.seed);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(rawRandom(), run.first[k]) << "seed " << run.seed << ", draw " << k;
    EXPECT_EQ(randomState, advanced(run.seed, 5));
  }
  // Every value stays within 0..32767 and both ends turn up.
  seedRandom(7);
  int32_t lowest = 32767, highest = 0;
  for (int k = 0; k < 200000; ++k) {
    int32_t r = rawRandom();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 32767);
    lowest = std::min(lowest, r), highest = std::max(highest, r);
  }
  EXPECT_EQ(lowest, 0);
  EXPECT_EQ(highest, 32767);
}

TEST_F(RandomTest, RangeAtItsEdges) {
  struct Case { int32_t low, high, raw, result; };
  const Case cases[] = {
      {14, 14, 0, 14}, {14, 14, 16384, 14}, {14, 14, 32767, 14},
      {INT32_MIN, INT32_MIN, 32767, INT32_MIN}, {INT32_MAX, INT32_MAX, 32767, INT32_MAX},
      // The top value only for the top raw number.
      {10, 25, 32767, 25}, {10, 25, 32766, 24}, {10, 25, 0, 10}, {10, 25, 16384, 17},
      {1, 1000, kRawFor1, 1}, {1, 1000, 32, 1}, {1, 1000, kRawFor2, 2}, {1, 1000, kRawFor500 - 1, 499},
      {1, 1000, kRawFor500, 500}, {1, 1000, kRawFor850, 850}, {1, 1000, 32766, 999}, {1, 1000, kRawFor1000, 1000},
      // high below low: the fraction runs downwards and truncates toward low.
      {25, 10, 32767, 10}, {25, 10, 16384, 18}, {25, 10, 1, 25}, {0, -3, 32766, -2},
      // The width passes through a single-precision float: 16777217 becomes 16777216.
      {0, 16777217, 32767, 16777216}, {-16777217, 0, 32767, -1},
      // Widths beyond 32 bits wrap: INT32_MAX - INT32_MIN is -1.
      {INT32_MIN, INT32_MAX, 0, INT32_MIN}, {INT32_MIN, INT32_MAX, 32766, INT32_MIN},
      {INT32_MIN, INT32_MAX, 32767, INT32_MAX},
      // The full positive width: 2^31 as a float, saturated back into range.
      {0, INT32_MAX, 32767, INT32_MAX}, {0, INT32_MAX, 16384, 1073774593},
  };
  for (const Case& c : cases) {
    forceNextRaw(c.raw);
    uint32_t before = randomState;
    EXPECT_EQ(randomRange(c.low, c.high), c.result) << "randomRange(" << c.low << ", " << c.high << ") with raw "
                                                    << c.raw;
    EXPECT_EQ(randomState, advanced(before, 1)) << "one draw per call";
  }
  // Over every raw number: 10..24, with 25 for 32767 alone, never falling.
  int32_t previous = 10;
  std::vector<int> seen(26, 0);
  for (int32_t raw = 0; raw <= 32767; ++raw) {
    forceNextRaw(raw);
    int32_t v = randomRange(10, 25);
    ASSERT_GE(v, previous);
    ASSERT_LE(v, raw == 32767 ? 25 : 24) << "raw " << raw;
    ++seen[v];
    previous = v;
  }
  EXPECT_EQ(seen[25], 1);
  for (int v = 10; v <= 24; ++v) EXPECT_GT(seen[v], 2000) << v;
}

TEST_F(GenomeTest, RandomGenomesStayInTheirSeedRanges) {
  // Seed 1 by hand: raws 41, 18467, 6334, 26500, 19169 give genes 0 to 4.
  seedRandom(1);
  Genome g;
  randomGenome(g);
  EXPECT_EQ(g[0], 1);
  EXPECT_EQ(g[1], 44);
  EXPECT_EQ(g[2], 113);
  EXPECT_EQ(g[3], 221);
  EXPECT_EQ(g[4], 23);
  EXPECT_EQ(randomState, advanced(1, kGeneCount)) << "one draw per gene";
  seedRandom(12345);
  randomGenome(g);
  EXPECT_EQ(g[0], 19);
  EXPECT_EQ(g[1], 46);
  EXPECT_EQ(g[2], 217);

  // Many genomes: every gene within its seed range, genes 10 and 13 fixed.
  const int32_t seedLow[kGeneCount] = {1,  1,  80, 80, 1,  100, 1,  80, 10, 2,  14, 400, 200, 50, 2,  1,  100, 1,
                                       1,  10, 10, 10, 10, 10,  10, 10, 10, 10, 10, 10,  10,  10, 50, 10, 3,   5000};
  const int32_t seedHigh[kGeneCount] = {79, 79, 255, 255, 40, 200, 200, 255, 500, 10, 14, 1200, 2000, 50, 6, 40, 150, 79,
                                        79, 20, 25,  25,  25, 25,  15,  25,  15,  15, 15, 25,   25,   25, 200, 80, 30, 10000};
  std::vector<int32_t> lowest(seedHigh, seedHigh + kGeneCount), highest(seedLow, seedLow + kGeneCount);
  seedRandom(99);
  for (int k = 0; k < 3000; ++k) {
    randomGenome(g);
    for (int n = 0; n < kGeneCount; ++n) {
      ASSERT_GE(g[n], seedLow[n]) << "gene " << n;
      ASSERT_LE(g[n], seedHigh[n]) << "gene " << n;
      lowest[n] = std::min(lowest[n], g[n]);
      highest[n] = std::max(highest[n], g[n]);
    }
    ASSERT_EQ(g[10], 14);
    ASSERT_EQ(g[13], 50);
  }
  // For the narrower ranges the low end comes up in a few thousand genomes;
  // the top of a range only for the top raw number, so a value one below it
  // is the usual maximum.
  for (int n = 0; n < kGeneCount; ++n) {
    if (seedHigh[n] - seedLow[n] > 200) continue;
    EXPECT_EQ(lowest[n], seedLow[n]) << "gene " << n;
    EXPECT_GE(highest[n], seedHigh[n] - 1) << "gene " << n;
  }
}

TEST_F(GenomeTest, MutateGeneStepsAndClamps) {
  struct Case { int gene; int32_t value, amplitude, raw, result; };
  const Case cases[] = {
      // f = (r - 500) / 500 in single precision; the change truncates toward 0.
      {0, 40, 10, kRawFor850, 46},   // f = 0.7f, a shade below 0.7: +6
      {0, 40, 10, kRawFor1000, 50},  // f = 1: the full +10
      {0, 40, 10, kRawFor1, 31},     // f = -0.998: -9
      {0, 40, 10, kRawFor500, 40},   // f = 0
      {0, 40, 10, kRawFor2, 31},     // f = -0.996: -9
      {0, 40, -10, kRawFor850, 34},  // a negative amplitude turns the step round
      {35, 7000, 1000, kRawFor850, 7699},  // 699.99998..., not 700
      // Amplitude 0 still clamps: genes a file brought in out of range.
      {10, 3, 0, kRawFor1000, 14}, {13, 99, 0, kRawFor1, 50}, {0, 0, 0, kRawFor850, 1}, {0, 80, 0, kRawFor850, 79},
      {5, -40, 0, 123, 1},
      // The step runs into the clamps.
      {0, 3, 10, kRawFor1, 1}, {0, 75, 10, kRawFor1000, 79}, {0, 79, 10, kRawFor850, 79}, {0, 1, 10, kRawFor1, 1},
      {35, 49990, 30, kRawFor1000, 50000},
      // Near the 32-bit limits nothing overflows: the sum wraps in two's
      // complement before the clamp, and products saturate.
      {0, INT32_MAX, 10, kRawFor1, 79}, {0, INT32_MIN, 10, kRawFor1000, 1},
      {0, INT32_MAX, 10, kRawFor1000, 1},   // INT32_MAX + 10 wraps below the minimum
      {0, INT32_MIN, 10, kRawFor1, 79},     // INT32_MIN - 9 wraps above the maximum
      {0, 40, INT32_MAX, kRawFor1, 1},      // -2143188735 added
      {0, 40, INT32_MIN, kRawFor1000, 1},   // INT32_MIN added
      {0, 40, INT32_MIN, kRawFor1, 79},     // +2143188736 added
      {0, 40, INT32_MAX, kRawFor1000, 1},   // 40 + INT32_MAX wraps
  };
  for (const Case& c : cases) {
    const int u = 999;
    middleGenome(u);
    units.genome[u][c.gene] = c.value;
    Genome before = units.genome[u];
    forceNextRaw(c.raw);
    uint32_t state = randomState;
    mutateGene(u, c.gene, c.amplitude);
    EXPECT_EQ(units.genome[u][c.gene], c.result)
        << "gene " << c.gene << " = " << c.value << ", amplitude " << c.amplitude << ", raw " << c.raw;
    EXPECT_EQ(randomState, advanced(state, 1));
    before[c.gene] = units.genome[u][c.gene];
    EXPECT_EQ(units.genome[u], before) << "only the one gene changes";
    EXPECT_EQ(units.status[u], Alive);
    EXPECT_EQ(units.genome[0], Genome{}) << "other slots untouched";
  }
}

TEST_F(GenomeTest, MutateGenomeStepsEveryGeneOnce) {
  // Parent's gene 33 = 10: factor 10/30, giving amplitude 3 for a step of
  // 10, 1 for 5, 5 for 15, 6 for 20, 10 for 30, 1 for 3 and 0 for 2 and 1.
  const float factor = (float)(10.0 / 30.0);
  const int u = 3;
  middleGenome(u);
  units.homeX[u] = 10, units.homeY[u] = 10, units.awayX[u] = 600, units.awayY[u] = 400;
  Genome before = units.genome[u];
  seedRandom(1);
  mutateGenome(u, factor);
  EXPECT_EQ(randomState, advanced(1, kGeneCount)) << "one draw per gene";
  // By hand from seed 1: raws 41, 18467, 6334, 26500, 19169 give r = 2, 564,
  // 194, 808, 585, and changes trunc(3 * -0.996) = -2, trunc(3 * 0.128) = 0,
  // trunc(3 * -0.612) = -1, trunc(3 * 0.616) = +1 and trunc(1 * 0.17) = 0.
  EXPECT_EQ(units.genome[u][0], before[0] - 2);
  EXPECT_EQ(units.genome[u][1], before[1]);
  EXPECT_EQ(units.genome[u][2], before[2] - 1);
  EXPECT_EQ(units.genome[u][3], before[3] + 1);
  EXPECT_EQ(units.genome[u][4], before[4]);
  EXPECT_EQ(units.status[u], Alive);

  // Over many seeds: genes with step 2 (20 to 31) and step 1 (14) never move
  // at this factor, and no gene moves by more than its amplitude.
  const int32_t amplitude[kGeneCount] = {3, 3, 3, 3, 1, 10, 5, 3, 5, 1, 0, 6, 3, 0, 0, 3, 3, 3,
                                         3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3};
  for (uint32_t seed = 2; seed < 300; ++seed) {
    middleGenome(u);
    seedRandom(seed);
    mutateGenome(u, factor);
    for (int g = 0; g < kGeneCount; ++g)
      ASSERT_LE(std::abs(units.genome[u][g] - before[g]), amplitude[g]) << "seed " << seed << ", gene " << g;
  }
  // Factor 0.5 (parent's gene 33 = 15) is the first to move genes 20 to 31
  // (amplitude 1, so only for r = 1000): force that draw for gene 20.
  middleGenome(u);
  units.genome[u][20] = 20;
  // The first draw goes to gene 0; gene 20's is the 21st. Find a seed whose
  // 21st raw number is 32767 by stepping the state backwards from one that
  // gives it.
  forceNextRaw(32767);
  uint32_t inverse = kMultiplier;
  for (int i = 0; i < 5; ++i) inverse *= 2u - kMultiplier * inverse;
  uint32_t state = randomState;
  for (int k = 0; k < 20; ++k) state = (state - kIncrement) * inverse;
  seedRandom(state);
  mutateGenome(u, 0.5f);
  EXPECT_EQ(units.genome[u][20], 21);
  EXPECT_EQ(units.genome[u][10], 14);
  EXPECT_EQ(units.genome[u][13], 50);
}

TEST_F(GenomeTest, ViabilityChecksAfterMutation) {
  // Factor 0: every amplitude is 0, so only the clamps act and the checks
  // see the genome as set here (it still draws one number per gene).
  struct Case {
    const char* what;
    int32_t gene5, gene6, gene11, gene16, gene32, awayX, awayY;
    bool dies;
  };
  // Home anchor at (10, 10) throughout.
  const Case cases[] = {
      {"viable", 150, 100, 800, 100, 100, 110, 110, false},
      {"gene 5 - gene 6 = 10", 110, 100, 800, 100, 100, 110, 110, true},
      {"gene 5 - gene 6 = 11", 111, 100, 800, 100, 100, 110, 110, false},
      {"gene 5 below gene 6", 50, 100, 800, 100, 100, 110, 110, true},
      {"gene 16 + gene 32 = gene 11", 150, 100, 200, 100, 100, 110, 110, false},
      {"gene 16 + gene 32 = gene 11 + 1", 150, 100, 199, 100, 100, 110, 110, true},
      {"anchor distance = gene 16 + gene 32", 150, 100, 800, 100, 100, 150, 70, false},
      {"anchor distance one less", 150, 100, 800, 100, 100, 109, 110, true},
      {"anchors on either side", 150, 100, 800, 100, 100, -90, -90, false},
      // The checks read the clamped genes: gene 6 = 5000 becomes 300.
      {"gene 6 clamped first", 400, 5000, 800, 100, 100, 110, 110, false},
      // Gene 32 clamps up to 10: 100 + 10 = 110 > 105.
      {"gene 32 clamped first", 150, 100, 105, 100, -50, 110, 110, true},
      {"every check fails", 100, 100, 100, 100, 100, 10, 10, true},
  };
  for (const Case& c : cases) {
    const int u = 42;
    middleGenome(u);
    Genome& g = units.genome[u];
    g[5] = c.gene5, g[6] = c.gene6, g[11] = c.gene11, g[16] = c.gene16, g[32] = c.gene32;
    units.homeX[u] = 10, units.homeY[u] = 10, units.awayX[u] = c.awayX, units.awayY[u] = c.awayY;
    seedRandom(5);
    mutateGenome(u, 0.0f);
    EXPECT_EQ(units.status[u], c.dies ? Dead : Alive) << c.what;
    EXPECT_EQ(randomState, advanced(5, kGeneCount)) << c.what;
    // The anchors are left as they were.
    EXPECT_EQ(units.awayX[u], c.awayX);
    EXPECT_EQ(units.homeY[u], 10);
  }
}

TEST_F(GenomeTest, TraitBitsAtTheSeedMidpoints) {
  const int32_t midpoint[kGeneCount] = {40, 40, 167, 167, 20, 150, 100, 167, 255, 6,   14,  800, 1100, 50, 4,  20, 125, 40,
                                        40, 15, 17,  17,  17, 17,  12,  17,  12,  12, 12, 17,  17,   17, 125, 45, 16, 7500};
  const int u = 17;
  for (int g = 0; g < kGeneCount; ++g) {
    EXPECT_FALSE(geneValueIsHigh(g, midpoint[g])) << "gene " << g;
    EXPECT_TRUE(geneValueIsHigh(g, midpoint[g] + 1)) << "gene " << g;
    EXPECT_FALSE(geneValueIsHigh(g, INT32_MIN)) << "gene " << g;
    EXPECT_TRUE(geneValueIsHigh(g, INT32_MAX)) << "gene " << g;
    units.genome[u][g] = midpoint[g];
    EXPECT_FALSE(geneIsHigh(u, g)) << "gene " << g;
    units.genome[u][g] = midpoint[g] + 1;
    EXPECT_TRUE(geneIsHigh(u, g)) << "gene " << g;
  }
}

TEST_F(GenomeTest, DistanceIsTheMeanGeneDifference) {
  const int a = 1, b = 2;
  middleGenome(a);
  middleGenome(b);
  EXPECT_EQ(genomeDistance(a, a), 0.0);
  EXPECT_EQ(genomeDistance(a, b), 0.0);
  units.genome[b][0] += 7;
  units.genome[b][35] -= 29;
  units.genome[b][14] += 1;  // genes without behaviour count too
  EXPECT_DOUBLE_EQ(genomeDistance(a, b), 37.0 / 36.0);
  EXPECT_DOUBLE_EQ(genomeDistance(b, a), 37.0 / 36.0);

  // Extreme genes: each difference wraps to 32 bits before its absolute
  // value, and so does the sum.
  units.genome[a].fill(INT32_MAX);
  units.genome[b].fill(INT32_MIN);
  EXPECT_EQ(genomeDistance(a, b), 1.0);  // INT32_MAX - INT32_MIN wraps to -1, |-1| = 1
  EXPECT_EQ(genomeDistance(b, a), 1.0);
  units.genome[a].fill(0);
  units.genome[b].fill(0);
  units.genome[b][3] = INT32_MIN;  // |INT32_MIN| stays INT32_MIN
  EXPECT_EQ(genomeDistance(a, b), INT32_MIN / 36.0);
  EXPECT_EQ(genomeDistance(b, a), INT32_MIN / 36.0);
  units.genome[b][3] = 0;
  units.genome[b][0] = 1500000000;
  units.genome[b][1] = -1500000000;  // 3,000,000,000 wraps to -1,294,967,296
  EXPECT_EQ(genomeDistance(a, b), -1294967296 / 36.0);
  units.genome[b][2] = 1294967296;  // and back to 0
  EXPECT_EQ(genomeDistance(a, b), 0.0);
  units.genome[b][2] = 100;
  units.genome[b][0] = 1000000000;
  units.genome[b][1] = 1000000000;  // 2,000,000,100 still fits
  EXPECT_EQ(genomeDistance(a, b), 2000000100 / 36.0);
}
