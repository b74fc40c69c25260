// report.html: one static page per run, to open from the file system with
// no network. It shows the run record, the final counts and the totals of
// arrivals and deaths, the pictures the run left beside it, the largest
// lineages and the genome of the most common genotype at the end. Pictures
// and files are linked by paths relative to the page, so that a folder can
// be moved, mailed or served as a whole; the page names only files that
// exist when it is written.
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "genome/genome.h"

// One of the largest lineages: the descendants of one founder.
struct ReportLineage {
  int64_t founder = 0;      // the founder's id
  int64_t parent = -1;      // the founder of the lineage it branched from; -1: none
  int64_t peakAlive = 0;    // the most of its Units alive at once
  int64_t peakFrame = 0;    // and the frame of that peak
  int64_t lastAlive = 0;    // its Units alive at the end
  std::string genome;       // the founder's 36 genes, as phylogeny.csv writes them
};

// A picture or a video on the page: a link relative to the page.
struct ReportMedia {
  std::string link;
  std::string caption;
};

// Everything the page shows; the renderer reads nothing else.
struct ReportInput {
  nlohmann::ordered_json record;  // the run record, as run.json holds it
  // A run that did not reach its last frame: how to go on with it (a whole
  // shell command), or, when it cannot be resumed, why.
  std::string resumeCommand;
  std::string notResumable;
  std::string worldFile;  // the state file at the end, linked; empty: none
  std::string paramsFile;  // the run's params.toml, linked; empty: none
  std::vector<ReportMedia> files;     // the data files, linked (stats.csv, ...)
  std::vector<ReportMedia> pictures;  // world.png, run.png, genes.png, muller.png, a --snapshot, a --plot
  ReportMedia video;                  // link empty: none
  std::vector<ReportMedia> timeLapse;  // a strip of the time-lapse pictures, in frame order
  std::string timeLapseFolder;         // linked; empty: none
  std::vector<ReportLineage> lineages;  // the section is left out when empty
  // The last row of phylodiversity.csv, by column; the section is left out
  // when empty.
  std::vector<std::pair<std::string, std::string>> tree;
  int32_t dominantCarriers = 0;         // 0: nobody alive at the end
  Genome dominant{};
  Genome geneLow{}, geneHigh{};  // the genes' bounds under the run's rules, for the genome's table
  std::string dominantGlyph;  // the glyph picture, linked; empty: none
};

// The page, complete.
std::string renderReport(const ReportInput& input);

// The name a gene goes by on the page.
std::string geneLabel(int gene);

// A word for a shell, quoted when it needs to be.
std::string shellWord(const std::string& word);

// The glyph picture beside a page: report.html's is report-glyph.png.
std::string glyphPictureName(const std::string& reportPath);
