#include "picture/muller.h"

#include <allegro.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "analysis/lineages.h"
#include "persist/files.h"
#include "persist/numbers.h"
#include "ui/painter.h"

namespace {

// The colour the window draws a glyph of genome in ("#rrggbb").
std::string glyphColour(const std::string& genes) {
  Genome genome{};
  std::istringstream in(genes);
  for (int32_t& gene : genome) in >> gene;
  const int depth = get_color_depth();
  set_color_depth(32);
  const int c = ui_detail::glyphInk(genome).fullColour;
  set_color_depth(depth);
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", getr32(c) & 255, getg32(c) & 255, getb32(c) & 255);
  return text;
}

}  // namespace

bool writeMullerLayout(const std::string& folder, const std::string& layoutPath, int* bands, std::string* colours,
                       std::string* error) {
  std::vector<LineageSummary> lineages = majorLineages(folder, error);
  if (!error->empty()) return false;
  // The lineages in the order they are drawn: each before those nested in
  // it, the older founder first.
  // Only the largest are drawn (majorLineages lists them the largest
  // first); the Units of the others count for the nearest drawn lineage
  // they nest in.
  std::map<int64_t, const LineageSummary*> byFounder, drawn;
  for (const LineageSummary& s : lineages) byFounder[s.founder] = &s;
  for (size_t i = 0; i < lineages.size() && i < kMullerLineages; ++i) drawn[lineages[i].founder] = &lineages[i];
  std::map<int64_t, int64_t> drawnAs;  // each lineage's nearest drawn one, itself included; -1: none
  auto nearestDrawn = [&](int64_t founder) {
    while (founder >= 0 && !drawn.count(founder)) {
      const auto s = byFounder.find(founder);
      founder = s == byFounder.end() ? -1 : s->second->parent;
    }
    return founder;
  };
  for (const auto& [founder, s] : byFounder) {
    (void)s;
    drawnAs[founder] = nearestDrawn(founder);
  }
  std::map<int64_t, std::vector<int64_t>> children;  // by founder; -1: the outermost
  for (const auto& [founder, s] : drawn) children[nearestDrawn(s->parent)].push_back(founder);
  std::vector<int64_t> order;
  std::vector<int> parentIndex;  // in order; -1 for an outermost lineage
  std::map<int64_t, int> indexOf;
  std::vector<std::pair<int64_t, int>> stack;
  for (auto it = children[-1].rbegin(); it != children[-1].rend(); ++it) stack.emplace_back(*it, -1);
  while (!stack.empty()) {
    const auto [founder, up] = stack.back();
    stack.pop_back();
    indexOf[founder] = (int)order.size();
    order.push_back(founder);
    parentIndex.push_back(up);
    const std::vector<int64_t>& kids = children[founder];
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.emplace_back(*it, indexOf[founder]);
  }
  *bands = 1 + (int)order.size();
  *colours = "#c8c8c8";
  for (int64_t founder : order) *colours += " " + glyphColour(drawn[founder]->genome);

  std::ifstream in(folder + "/lineages.csv");
  std::string line;
  std::getline(in, line);
  StreamFile out;
  if (!out.create(layoutPath, false, error)) return false;
  const size_t n = order.size();
  std::vector<double> own(n), total(n), low(n);
  double none = 0;
  int64_t frame = -1;
  auto writeFrame = [&]() {
    if (frame < 0) return;
    for (size_t k = n; k-- > 0;) {
      total[k] += own[k];
      if (parentIndex[k] >= 0) total[parentIndex[k]] += total[k];
    }
    double alive = none;
    for (size_t k = 0; k < n; ++k)
      if (parentIndex[k] < 0) alive += total[k];
    const double scale = alive > 0 ? 1 / alive : 0;
    // Outermost lineages stacked above the Units of none; inside each, half
    // its own Units, the nested lineages in turn, the other half.
    std::vector<double> cursor(n);
    double outer = none;
    std::string row = std::to_string(frame) + ",0," + std::to_string(none * scale);
    char edge[64];
    for (size_t k = 0; k < n; ++k) {
      const int up = parentIndex[k];
      low[k] = up < 0 ? outer : cursor[up];
      if (up < 0)
        outer += total[k];
      else
        cursor[up] += total[k];
      cursor[k] = low[k] + own[k] / 2;
      std::snprintf(edge, sizeof edge, ",%.6f,%.6f", low[k] * scale, (low[k] + total[k]) * scale);
      row += edge;
    }
    out.write(row + "\n");
    std::fill(own.begin(), own.end(), 0.0);
    std::fill(total.begin(), total.end(), 0.0);
    none = 0;
  };
  // A field as a whole number; an empty one (no lineage) or one that is not
  // (which the runner never writes) as the given value.
  auto whole = [](const std::string& text, int64_t otherwise) {
    int64_t value = 0;
    return readWhole(text, &value) == WholeText::Whole ? value : otherwise;
  };
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string text;
    std::getline(fields, text, ',');
    const int64_t f = whole(text, 0);
    std::getline(fields, text, ',');
    const int64_t founder = whole(text, -1);
    std::getline(fields, text, ',');
    std::getline(fields, text, ',');
    const int64_t alive = whole(text, 0);
    if (f != frame) writeFrame(), frame = f;
    const auto as = drawnAs.find(founder);
    const auto k = indexOf.find(as == drawnAs.end() ? -1 : as->second);
    if (k == indexOf.end())
      none += (double)alive;
    else
      own[k->second] += (double)alive;
  }
  writeFrame();
  return out.finish(error);
}
