#include "persist/slotfile.h"

#include "persist/notice.h"
#include "persist/textio.h"
#include "units/units.h"

Genome slotGenomes[kSlotCount] = {};
int32_t slotRefreshTimer = 0;

void slotFileName(char* buffer, size_t size, int slot) { std::snprintf(buffer, size, "sample%d.dna", slot); }

bool saveSlotFile(const char* name, int u) {
  if (u < 0 || u >= kMaxUnits) return false;
  TextWriter out(name);
  if (!out.ok()) return false;
  showFileNotice("Saving...");
  out.putInts(units.genome[u].data(), kGeneCount);
  return out.finish();
}

bool loadSlotFile(const char* name, int u) {
  if (u < 0 || u >= kMaxUnits) return false;
  TextReader in(name);
  if (!in.opened()) return false;
  showFileNotice("Loading...");
  in.readInts(units.genome[u].data(), kGeneCount);
  unitTableChanged();
  units.age[u] = 0;
  units.spareA[u] = 0;
  units.energy[u] = (float)units.genome[u][5];
  computeHomeAnchor(u);
  computeAwayAnchor(u);
  return true;
}

bool refreshSlotGenomes(int i) {
  if (i < 0 || i >= kSlotCount) return false;
  char name[32];
  slotFileName(name, sizeof name, i);
  TextReader in(name);
  if (!in.opened()) return false;
  in.readInts(slotGenomes[i].data(), kGeneCount);
  return true;
}
