// The lineages that took over a run, worked out with hindsight when it ends.
//
// A Unit founds a major lineage when, at some stats row, the Units alive at
// the end of that frame that are it or descend from it number at least 5 %
// of the Units alive then and at least 10. Every ancestor of such a founder
// is one too; from an unbranched chain of them (each the only founder among
// its parent's children) only the last, the deepest, is kept. Each Unit
// alive at a stats row counts for the innermost kept founder that it is or
// descends from, or for none.
//
// lineages.csv holds, for each stats row's frame, a line per lineage with
// Units alive (frame,lineage,parent,alive: the founder's id, the kept
// founder it nests in or empty, the Units that count for it); Units of no
// major lineage have a line with lineage and parent empty. The counts of a
// frame add up to the stats row's alive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int kMajorSharePercent = 5;
constexpr int kMajorMinimum = 10;

extern const char kLineagesHeader[];

// Writes lineagesPath from a finished run's stats.csv and phylogeny.csv (in
// id order, as the runner writes it). Memory: 32 bytes for each Unit that
// ever lived, plus the stats rows. False, with the reason.
bool writeLineages(const std::string& statsPath, const std::string& phylogenyPath, const std::string& lineagesPath,
                   std::string* error);

// A major lineage of a finished run, as lineages.csv tells it.
struct LineageSummary {
  int64_t founder = -1;
  int64_t parent = -1;     // the founder of the lineage it nests in; -1: none
  int64_t peakAlive = 0;   // the most Units alive at one stats row that counted for it
  int64_t peakFrame = 0;   // the first stats row's frame with that many
  int64_t lastAlive = 0;   // the Units that counted for it at the last stats row
  int64_t firstFrame = 0;  // the first stats row's frame with any
  int64_t lastFrame = 0;   // the last stats row's frame with any
  std::string genome;      // the founder's 36 genes, as in phylogeny.csv
};

// The major lineages of the finished run in folder, from its lineages.csv
// and phylogeny.csv, the largest peak first (ties: the older founder first).
// Empty, with the reason in *error, when they cannot be read.
std::vector<LineageSummary> majorLineages(const std::string& folder, std::string* error);
