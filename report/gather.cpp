#include "report/gather.h"

#include <dirent.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "analysis/lineages.h"
#include "persist/files.h"
#include "persist/numbers.h"
#include "record/phylodiversity.h"
#include "record/stats.h"
#include "units/params.h"

namespace fs = std::filesystem;

namespace {

// The lineages the page lists, the largest peaks first.
constexpr size_t kReportLineages = 12;
// The pictures of a time-lapse the page shows.
constexpr size_t kTimeLapseShown = 12;

fs::path absoluteOf(const std::string& path) {
  std::error_code failure;
  const fs::path whole = fs::absolute(path, failure);
  return (failure ? fs::path(path) : whole).lexically_normal();
}

bool isFile(const std::string& path) {
  std::error_code failure;
  return !path.empty() && fs::is_regular_file(path, failure);
}

// The program as a command that works from anywhere.
std::string programPath(const std::string& given) {
  if (given.find('/') == std::string::npos) return given;  // found on the PATH
  return absoluteOf(given).string();
}

// Up to a dozen of the time-lapse pictures in folder, evenly spread and the
// last among them, each captioned with its frame.
void timeLapse(const std::string& page, const std::string& folder, ReportInput* in) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() >= 16 && name.size() <= 28 && name.compare(0, 6, "frame-") == 0 &&
          name.compare(name.size() - 4, 4, ".png") == 0 &&
          std::all_of(name.begin() + 6, name.end() - 4, [](char c) { return c >= '0' && c <= '9'; }) &&
          isFile(folder + "/" + name))
        names.push_back(name);
    }
    closedir(d);
  }
  if (names.empty()) return;
  // Frames past 999999 have longer names: by length, then by name.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  const size_t n = names.size(), shown = std::min(n, kTimeLapseShown);
  for (size_t i = 0; i < shown; ++i) {
    const std::string& name = names[shown == 1 ? n - 1 : i * (n - 1) / (shown - 1)];
    // Its frame from its name: the digits, without the leading zeros.
    const std::string digits = name.substr(6, name.size() - 10);
    int64_t frame = 0;
    const bool whole = readWhole(digits, &frame, false) == WholeText::Whole;
    in->timeLapse.push_back({reportLink(page, folder + "/" + name), "frame " + (whole ? std::to_string(frame) : digits)});
  }
  in->timeLapseFolder = reportLink(page, folder);
}

}  // namespace

std::string reportLink(const std::string& pagePath, const std::string& path) {
  return absoluteOf(path).lexically_relative(absoluteOf(pagePath).parent_path()).string();
}

ReportInput gatherReport(const ReportSources& from) {
  ReportInput in;
  in.record = from.record;
  const bool folder = !from.folder.empty();
  const std::string in_ = folder ? from.folder + "/" : "";
  auto link = [&](const std::string& path) { return reportLink(from.page, path); };
  auto file = [&](const std::string& path, const std::string& caption) {
    if (isFile(path)) in.files.push_back({link(path), caption});
  };
  auto picture = [&](const std::string& path, const char* caption) {
    if (!isFile(path)) return;
    for (const ReportMedia& m : in.pictures)
      if (m.link == link(path)) return;
    in.pictures.push_back({link(path), caption});
  };

  const std::string world = folder ? in_ + "world.sav" : from.save;
  if (isFile(world)) in.worldFile = link(world);
  if (folder && isFile(in_ + "params.toml")) in.paramsFile = link(in_ + "params.toml");

  if (folder) {
    picture(in_ + "world.png", "The world at the end (world.png)");
    picture(in_ + "run.png", "The population, the Evolution Level, the live cells and the deaths by cause (run.png)");
    picture(in_ + "genes.png", "The genes of the living over the run (genes.png)");
    picture(in_ + "muller.png", "The largest lineages over the run (muller.png)");
    picture(in_ + "phylodiversity.png",
            "The tree of the living: its phylogenetic diversity, the mean pairwise distance and the changes of "
            "the most recent common ancestor (phylodiversity.png)");
  }
  picture(from.snapshot, "The world at the end");
  picture(from.plot, "The run's stats");
  if (isFile(from.video)) in.video = {link(from.video), "The time-lapse as a video, 25 pictures a second"};
  if (!from.framesDir.empty()) timeLapse(from.page, folderName(from.framesDir), &in);

  const std::string every = std::to_string(from.every);
  file(world, "the state at the end");
  file(folder ? in_ + "stats.csv" : from.stats, "the counts every " + every + " frames and at the end");
  file(folder ? in_ + "phylogeny.csv" : from.phylogeny, "the lineage of every Unit that lived");
  if (folder) {
    file(in_ + "genes.csv", "the genes of the living over the run");
    file(in_ + "lineages.csv", "the lineages over the run");
  }
  const std::string tree = folder ? in_ + "phylodiversity.csv" : from.phylodiversity;
  file(tree, "the tree of the living every " + every + " frames and at the end");
  if (folder) {
    file(in_ + "tree.nwk", "the tree of the living at the end, in Newick");
    file(in_ + "loaded.csv", "the Units of the loaded world, with their slots and ages");
  }
  if (isFile(tree)) in.tree = lastPhylodiversityRow(tree);
  file(folder ? in_ + "run.json" : from.runRecord, "the run record");
  if (!in.paramsFile.empty()) file(in_ + "params.toml", "the rules of the run, every parameter");

  if (from.interrupted) {
    if (folder && from.video.empty())
      in.resumeCommand = shellWord(programPath(from.program)) + " --resume " + shellWord(absoluteOf(from.folder).string());
    else if (folder)
      in.notResumable = "A run that makes a video cannot be resumed: it is made in one go.";
    else
      in.notResumable = "A run without an experiment folder (--out) cannot be resumed.";
  }

  // The largest lineages, from the folder's lineages.csv and phylogeny.csv
  // (written before the page); none when they cannot be read.
  if (folder) {
    std::string error;
    for (const LineageSummary& l : majorLineages(from.folder, &error)) {
      if (in.lineages.size() == kReportLineages) break;
      in.lineages.push_back({l.founder, l.parent, l.peakAlive, l.peakFrame, l.lastAlive, l.genome});
    }
  }
  in.dominantCarriers = mostCommonGenome(&in.dominant);
  for (int g = 0; g < kGeneCount; ++g) in.geneLow[g] = rules.genes.min[g], in.geneHigh[g] = rules.genes.max[g];
  return in;
}
std::vector<std::pair<std::string, std::string>> lastPhylodiversityRow(const std::string& path) {
  std::ifstream in(path);
  std::string header, line, last;
  if (!in || !std::getline(in, header) || header + "\n" != kPhylodiversityHeader) return {};
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  if (last.empty()) return {};
  std::vector<std::pair<std::string, std::string>> row;
  size_t h = 0, l = 0;
  while (h <= header.size() && l <= last.size()) {
    const size_t hEnd = std::min(header.find(',', h), header.size()), lEnd = std::min(last.find(',', l), last.size());
    row.emplace_back(header.substr(h, hEnd - h), last.substr(l, lEnd - l));
    h = hEnd + 1, l = lEnd + 1;
  }
  return row;
}
