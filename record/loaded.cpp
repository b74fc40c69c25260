#include "record/loaded.h"

#include <cinttypes>
#include <cstdio>

#include "record/census.h"
#include "units/units.h"

const char kLoadedHeader[] = "id,slot,age\n";

std::string loadedUnitsCsv() {
  std::string text = kLoadedHeader;
  char line[64];
  for (int u = 0; u < kMaxUnits; ++u)
    if (units.status[u] == Alive) {
      const int n = std::snprintf(line, sizeof line, "%" PRId64 ",%d,%d\n", lineage[u].id, u, units.age[u]);
      text.append(line, (size_t)n);
    }
  return text;
}
