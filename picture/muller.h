// The layout of a run's Muller plot, from its experiment folder's
// lineages.csv and phylogeny.csv: each major lineage an area nested in its
// parent's, its own Units split evenly above and below the lineages nested
// in it, and the Units of no major lineage at the bottom. Of the major
// lineages the kMullerLineages largest are drawn; the Units of the others
// count for the nearest drawn lineage they nest in.
#pragma once
#include <cstddef>
#include <string>

// The most lineages a Muller plot draws: those with the largest peaks.
constexpr size_t kMullerLineages = 60;

// Writes layoutPath (a row per stats row: the frame, then the lower and
// upper edge of each band as shares of the Units alive), tells the number
// of bands and their colours: first the Units of no major lineage in grey,
// then each lineage, parents before the lineages nested in them, in its
// founder's glyph colour. The drawing library must be started (for the
// colours). False, with the reason.
bool writeMullerLayout(const std::string& folder, const std::string& layoutPath, int* bands, std::string* colours,
                       std::string* error);
