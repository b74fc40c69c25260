#include "analysis/lineages.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <queue>
#include <unordered_map>

#include "persist/files.h"
#include "persist/numbers.h"

const char kLineagesHeader[] = "frame,lineage,parent,alive\n";

namespace {

constexpr int64_t kNever = INT64_MAX;  // the destruction frame of a Unit alive at the end

// The comma-separated fields of a line.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == ',')
      out.emplace_back();
    else if (c != '\r')
      out.back() += c;
  }
  return out;
}

// A whole number filling text, or false.
bool number(const std::string& text, int64_t* value) { return readWhole(text, value) == WholeText::Whole; }

struct Rows {
  std::vector<int64_t> frame, alive;
};

// Calls row(fields, line number) for each line after the header; stops at
// the first row it refuses.
template <typename Row>
bool readRows(const std::string& path, std::string* error, Row row) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) {
    *error = "cannot read " + path;
    return false;
  }
  for (int64_t n = 2; std::getline(in, line); ++n)
    if (!row(fields(line), n)) return false;
  return true;
}

bool readStats(const std::string& path, Rows* rows, std::string* error) {
  return readRows(path, error, [&](const std::vector<std::string>& f, int64_t n) {
    int64_t frame, alive;
    if (f.size() < 3 || !number(f[0], &frame) || !number(f[2], &alive)) {
      *error = path + ": line " + std::to_string(n) + " is no stats row";
      return false;
    }
    rows->frame.push_back(frame);
    rows->alive.push_back(alive);
    return true;
  });
}

// What the lineages need of every Unit, indexed by id.
struct Tree {
  std::vector<int64_t> parent, origin, destruction;
};

bool readTree(const std::string& path, Tree* tree, std::string* error) {
  return readRows(path, error, [&](const std::vector<std::string>& f, int64_t n) {
    int64_t id = -1, parent = -1, origin = 0, destruction = kNever;
    bool good = f.size() >= 4 && number(f[0], &id) && id == (int64_t)tree->parent.size() && number(f[2], &origin) &&
                (f[3] == "inf" || number(f[3], &destruction));
    if (good && f[1] != "[NONE]")
      good = f[1].size() > 2 && f[1].front() == '[' && f[1].back() == ']' &&
             number(f[1].substr(1, f[1].size() - 2), &parent) && parent >= 0 && parent < id;
    if (!good) {
      *error = path + ": line " + std::to_string(n) + " is not the row of Unit " +
               std::to_string(tree->parent.size()) + " (the rows must be in id order)";
      return false;
    }
    tree->parent.push_back(parent);
    tree->origin.push_back(origin);
    tree->destruction.push_back(destruction);
    return true;
  });
}

// The Units alive at the end of each stats row's frame, in turn: those that
// arrived by then and had not died by then.
class AliveSweep {
 public:
  explicit AliveSweep(const Tree& tree) : tree_(tree) {}
  const std::vector<int64_t>& at(int64_t frame) {
    const int64_t n = (int64_t)tree_.origin.size();
    for (; next_ < n && tree_.origin[next_] <= frame; ++next_) living_.emplace(tree_.destruction[next_], next_);
    while (!living_.empty() && living_.top().first <= frame) living_.pop();
    // The heap holds exactly the Units alive now; list them.
    alive_.clear();
    auto copy = living_;
    while (!copy.empty()) alive_.push_back(copy.top().second), copy.pop();
    return alive_;
  }

 private:
  using Entry = std::pair<int64_t, int64_t>;  // destruction, id
  const Tree& tree_;
  int64_t next_ = 0;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> living_;
  std::vector<int64_t> alive_;
};

}  // namespace

bool writeLineages(const std::string& statsPath, const std::string& phylogenyPath, const std::string& lineagesPath,
                   std::string* error) {
  Rows rows;
  Tree tree;
  if (!readStats(statsPath, &rows, error) || !readTree(phylogenyPath, &tree, error)) return false;
  const int64_t units = (int64_t)tree.parent.size();
  const std::vector<int64_t>& parent = tree.parent;

  // First pass: how many Units alive at each row each Unit's descent holds
  // (the Unit itself included), and so which Units found major lineages.
  std::vector<int32_t> stamp(units, -1), count(units, 0);
  std::vector<bool> major(units, false);
  {
    AliveSweep sweep(tree);
    std::vector<int64_t> touched;
    for (size_t r = 0; r < rows.frame.size(); ++r) {
      const std::vector<int64_t>& alive = sweep.at(rows.frame[r]);
      touched.clear();
      for (int64_t a : alive)
        for (int64_t x = a; x >= 0 && stamp[x] != (int32_t)r; x = parent[x]) {
          stamp[x] = (int32_t)r;
          count[x] = 0;
          touched.push_back(x);
        }
      for (int64_t a : alive) ++count[a];
      // Descendants have greater ids than their ancestors: adding each
      // count to the parent's, the greatest id first, sums whole descents.
      std::sort(touched.begin(), touched.end(), std::greater<int64_t>());
      const int64_t n = (int64_t)alive.size();
      for (int64_t x : touched) {
        if (count[x] >= kMajorMinimum && (int64_t)count[x] * 100 >= n * kMajorSharePercent) major[x] = true;
        if (parent[x] >= 0) count[parent[x]] += count[x];
      }
    }
  }
  // Every ancestor of a founder is one: keep the founders with no founder
  // among their children or with two or more.
  std::unordered_map<int64_t, int> founderChildren;
  for (int64_t x = 0; x < units; ++x)
    if (major[x] && parent[x] >= 0) ++founderChildren[parent[x]];
  // lineageOf[x]: the index among the kept founders that x counts for, -1: none.
  std::vector<int64_t> founders;
  std::vector<int32_t>& lineageOf = count;
  for (int64_t x = 0; x < units; ++x) {
    const auto kids = founderChildren.find(x);
    if (major[x] && (kids == founderChildren.end() || kids->second != 1)) {
      lineageOf[x] = (int32_t)founders.size();
      founders.push_back(x);
    } else {
      lineageOf[x] = parent[x] >= 0 ? lineageOf[parent[x]] : -1;
    }
  }
  std::vector<int64_t> founderParent(founders.size(), -1);
  for (size_t k = 0; k < founders.size(); ++k) {
    const int64_t p = parent[founders[k]];
    if (p >= 0 && lineageOf[p] >= 0) founderParent[k] = founders[lineageOf[p]];
  }

  // Second pass: the rows of lineages.csv.
  StreamFile out;
  if (!out.create(lineagesPath, false, error)) return false;
  out.write(kLineagesHeader);
  AliveSweep sweep(tree);
  std::map<int32_t, int64_t> tally;  // by lineage index; -1 first
  std::string text;
  char line[128];
  for (size_t r = 0; r < rows.frame.size(); ++r) {
    tally.clear();
    for (int64_t a : sweep.at(rows.frame[r])) ++tally[lineageOf[a]];
    text.clear();
    for (const auto& [k, n] : tally) {
      int length;
      if (k < 0)
        length = std::snprintf(line, sizeof line, "%" PRId64 ",,,%" PRId64 "\n", rows.frame[r], n);
      else if (founderParent[k] < 0)
        length = std::snprintf(line, sizeof line, "%" PRId64 ",%" PRId64 ",,%" PRId64 "\n", rows.frame[r],
                               founders[k], n);
      else
        length = std::snprintf(line, sizeof line, "%" PRId64 ",%" PRId64 ",%" PRId64 ",%" PRId64 "\n",
                               rows.frame[r], founders[k], founderParent[k], n);
      text.append(line, (size_t)length);
    }
    out.write(text);
  }
  return out.finish(error);
}

std::vector<LineageSummary> majorLineages(const std::string& folder, std::string* error) {
  const std::string lineagesPath = folder + "/lineages.csv", phylogenyPath = folder + "/phylogeny.csv";
  std::ifstream in(lineagesPath);
  std::string line;
  if (!in || !std::getline(in, line) || line + "\n" != kLineagesHeader) {
    *error = "cannot read " + lineagesPath;
    return {};
  }
  std::map<int64_t, LineageSummary> byFounder;
  int64_t lastFrame = -1;
  for (int64_t n = 2; std::getline(in, line); ++n) {
    const std::vector<std::string> f = fields(line);
    int64_t frame, founder = -1, parent = -1, alive;
    if (f.size() != 4 || !number(f[0], &frame) || !number(f[3], &alive) ||
        !(f[1].empty() || number(f[1], &founder)) || !(f[2].empty() || number(f[2], &parent))) {
      *error = lineagesPath + ": line " + std::to_string(n) + " is no lineage row";
      return {};
    }
    lastFrame = frame;
    if (founder < 0) continue;
    LineageSummary& s = byFounder[founder];
    if (s.founder < 0) s.founder = founder, s.parent = parent, s.firstFrame = frame;
    if (alive > s.peakAlive) s.peakAlive = alive, s.peakFrame = frame;
    s.lastFrame = frame;
  }
  // The founders' genomes, from their rows of the phylogeny.
  std::ifstream tree(phylogenyPath);
  if (!tree || !std::getline(tree, line)) {
    *error = "cannot read " + phylogenyPath;
    return {};
  }
  size_t found = 0;
  while (found < byFounder.size() && std::getline(tree, line)) {
    int64_t id;
    const size_t comma = line.find(',');
    if (comma == std::string::npos || !number(line.substr(0, comma), &id)) continue;
    const auto s = byFounder.find(id);
    if (s == byFounder.end()) continue;
    size_t at = 0;  // the genome: the seventh field
    for (int k = 0; k < 6 && at != std::string::npos; ++k) at = line.find(',', at + (k > 0));
    if (at != std::string::npos) s->second.genome = line.substr(at + 1, line.find(',', at + 1) - at - 1);
    ++found;
  }
  std::vector<LineageSummary> out;
  for (auto& [founder, s] : byFounder) {
    (void)founder;
    out.push_back(s);
  }
  // The Units at the last row: a second look at its lines.
  std::ifstream again(lineagesPath);
  std::getline(again, line);
  std::map<int64_t, int64_t> last;
  while (std::getline(again, line)) {
    const std::vector<std::string> f = fields(line);
    int64_t frame, founder, alive;
    if (f.size() == 4 && number(f[0], &frame) && frame == lastFrame && number(f[1], &founder) && number(f[3], &alive))
      last[founder] = alive;
  }
  for (LineageSummary& s : out)
    if (last.count(s.founder)) s.lastAlive = last[s.founder];
  std::stable_sort(out.begin(), out.end(),
                   [](const LineageSummary& a, const LineageSummary& b) { return a.peakAlive > b.peakAlive; });
  return out;
}
