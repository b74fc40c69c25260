#include "record/genes.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "units/units.h"

const char kGenesHeader[] = "frame,gene,name,mean,sd,min,max\n";

void appendGeneRows(std::string& out, int64_t frame) {
  double sum[kGeneCount] = {};
  int32_t least[kGeneCount] = {}, most[kGeneCount] = {};
  int n = 0;
  for (int u = 0; u < kMaxUnits; ++u) {
    if (units.status[u] != Alive) continue;
    const Genome& g = units.genome[u];
    for (int k = 0; k < kGeneCount; ++k) {
      sum[k] += g[k];
      if (n == 0 || g[k] < least[k]) least[k] = g[k];
      if (n == 0 || g[k] > most[k]) most[k] = g[k];
    }
    ++n;
  }
  // The spread about the mean in a second pass: exact for any values.
  double square[kGeneCount] = {};
  if (n > 0)
    for (int u = 0; u < kMaxUnits; ++u) {
      if (units.status[u] != Alive) continue;
      for (int k = 0; k < kGeneCount; ++k) {
        const double d = units.genome[u][k] - sum[k] / n;
        square[k] += d * d;
      }
    }
  char line[160];
  for (int k = 0; k < kGeneCount; ++k) {
    int length;
    if (n == 0)
      length = std::snprintf(line, sizeof line, "%" PRId64 ",%d,%s,,,,\n", frame, k, kGenes[k].name);
    else
      length = std::snprintf(line, sizeof line, "%" PRId64 ",%d,%s,%f,%f,%d,%d\n", frame, k, kGenes[k].name,
                             sum[k] / n, std::sqrt(square[k] / n), least[k], most[k]);
    out.append(line, (size_t)length);
  }
}
