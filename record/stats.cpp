#include "record/stats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "world/cellfield.h"

const char kStatsHeader[] =
    "frame,living,alive,level,foodDivisor,liveCells,reseeding,births,seeded,deaths_age,deaths_starvation,"
    "deaths_contest,deaths_search,deaths_unfit,deaths_cull,genotypes,dominant,mean_age,mean_energy\n";

void countGenotypes(int32_t* genotypes, int32_t* dominant) {
  int alive[kMaxUnits];
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) alive[n++] = u;
  auto less = [](int a, int b) { return units.genome[a] < units.genome[b]; };
  std::sort(alive, alive + n, less);
  *genotypes = 0;
  *dominant = 0;
  for (int i = 0, run = 0; i < n; ++i) {
    if (i == 0 || units.genome[alive[i]] != units.genome[alive[i - 1]]) {
      ++*genotypes;
      run = 0;
    }
    *dominant = std::max(*dominant, ++run);
  }
}

int32_t mostCommonGenome(Genome* genome) {
  int alive[kMaxUnits];
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) alive[n++] = u;
  std::sort(alive, alive + n, [](int a, int b) { return units.genome[a] < units.genome[b]; });
  int32_t best = 0;
  for (int i = 0, run = 0; i < n; ++i) {
    run = (i > 0 && units.genome[alive[i]] == units.genome[alive[i - 1]]) ? run + 1 : 1;
    if (run > best) {
      best = run;
      *genome = units.genome[alive[i]];
    }
  }
  return best;
}

StatsRow currentStatsRow(int64_t frame) {
  StatsRow row;
  row.frame = frame;
  row.living = simulation.livingCount;
  row.level = evolutionLevel();
  row.foodDivisor = simulation.foodDivisor;
  row.liveCells = countLiveCells();
  row.reseeding = simulation.reseeding;
  row.tally = rowTally;
  double ageSum = 0, energySum = 0;
  for (int u = 0; u < kMaxUnits; ++u) {
    if (units.status[u] != Alive) continue;
    ++row.alive;
    ageSum += units.age[u];
    energySum += units.energy[u];
  }
  if (row.alive > 0) {
    row.meanAge = ageSum / row.alive;
    row.meanEnergy = energySum / row.alive;
  }
  countGenotypes(&row.genotypes, &row.dominant);
  return row;
}

std::string formatStatsRow(const StatsRow& r) {
  const int64_t* d = r.tally.deaths;
  char line[512];
  int n = std::snprintf(line, sizeof line,
                        "%" PRId64 ",%d,%d,%d,%f,%" PRId64 ",%d,%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64
                        ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 ",%d,%d,%.2f,%.2f\n",
                        r.frame, r.living, r.alive, r.level, (double)r.foodDivisor, r.liveCells, r.reseeding,
                        r.tally.births, r.tally.seeded, d[(int)DeathCause::Age], d[(int)DeathCause::Starvation],
                        d[(int)DeathCause::Contest], d[(int)DeathCause::Search], d[(int)DeathCause::Unfit],
                        d[(int)DeathCause::Cull], r.genotypes, r.dominant, r.meanAge, r.meanEnergy);
  return std::string(line, (size_t)std::max(n, 0));
}
