// What a run's page shows, gathered from the run record and the files the
// run left: which of them exist (the page names no other), the pictures,
// the time-lapse's strip, the largest lineages, the tree of the living at
// the last row, how to go on with a stopped run, and the most common genome
// among the living now.
#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "report/page.h"

struct ReportSources {
  nlohmann::ordered_json record;  // the run record, as run.json holds it
  std::string page;               // the page's path: every link is relative to its folder
  std::string folder;             // the experiment folder; empty: a run without one
  // A run without a folder: the files it was given (--save, --stats, ...).
  std::string save, stats, phylogeny, phylodiversity, runRecord;
  std::string snapshot, plot, video, framesDir;  // the pictures it was asked for
  int64_t every = 100;
  std::string program;  // the runner as it was started, for the command that goes on
  bool interrupted = false;
};

// Everything but the glyph's picture, which its writer links with reportLink.
ReportInput gatherReport(const ReportSources& from);

// path as a link from the folder of the page at pagePath.
std::string reportLink(const std::string& pagePath, const std::string& path);

// The last row of a phylodiversity.csv, field by field under its header's
// names; empty when the file has no row or cannot be read.
std::vector<std::pair<std::string, std::string>> lastPhylodiversityRow(const std::string& path);
