#include "record/phylogeny.h"

#include <cinttypes>
#include <cstdio>

#include "persist/textio.h"
#include "record/census.h"

const char kPhylogenyHeader[] = "id,ancestor_list,origin_time,destruction_time,slot,cause,genome\n";

const char* deathCauseName(DeathCause cause) {
  switch (cause) {
    case DeathCause::Age: return "age";
    case DeathCause::Starvation: return "starvation";
    case DeathCause::Contest: return "contest";
    case DeathCause::Search: return "search";
    case DeathCause::Unfit: return "unfit";
    case DeathCause::Cull: return "cull";
    case DeathCause::Clear: return "clear";
  }
  return "unknown";
}

void appendPhylogenyRow(std::string& out, int slot, int64_t destroyed, DeathCause cause) {
  const Lineage& who = lineage[slot];
  char line[64 + 12 * kGeneCount];
  int n;
  if (who.parent >= 0)
    n = std::snprintf(line, 64, "%" PRId64 ",[%" PRId64 "],%" PRId64 ",", who.id, who.parent, who.origin);
  else
    n = std::snprintf(line, 64, "%" PRId64 ",[NONE],%" PRId64 ",", who.id, who.origin);
  out.append(line, (size_t)n);
  if (destroyed >= 0)
    n = std::snprintf(line, 64, "%" PRId64 ",%d,%s,", destroyed, slot, deathCauseName(cause));
  else
    n = std::snprintf(line, 64, "inf,%d,,", slot);
  out.append(line, (size_t)n);
  char* end = line;
  for (int g = 0; g < kGeneCount; ++g) {
    if (g > 0) *end++ = ' ';
    end = formatInt(end, units.genome[slot][g]);
  }
  *end++ = '\n';
  out.append(line, (size_t)(end - line));
}
