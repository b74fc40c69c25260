#include "record/phylodiversity.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "persist/files.h"
#include "persist/numbers.h"
#include "units/units.h"

using nlohmann::json;

const char kPhylodiversityHeader[] =
    "frame,alive,roots,phylogenetic_diversity,mean_pairwise_distance,mrca,mrca_depth,mrca_changes,depth_mean,"
    "depth_max\n";

LivingTree::LivingTree() : nodeOfSlot_(kMaxUnits, -1) {}

int32_t LivingTree::find(int64_t id) const {
  const auto at = std::lower_bound(id_.begin(), id_.end(), id);
  if (at == id_.end() || *at != id) return -1;
  const int32_t node = (int32_t)(at - id_.begin());
  return flags_[(size_t)node] & kGone ? -1 : node;
}

void LivingTree::arrive(int slot, int64_t id, int64_t parent, int64_t origin) {
  const int32_t up = parent >= 0 ? find(parent) : -1;
  const int32_t node = (int32_t)id_.size();
  id_.push_back(id);
  origin_.push_back(origin);
  parent_.push_back(up);
  depth_.push_back(up >= 0 ? depth_[(size_t)up] + 1 : 1);
  children_.push_back(0);
  flags_.push_back(kAlive);
  if (up >= 0) ++children_[(size_t)up];
  nodeOfSlot_[(size_t)slot] = node;
  ++kept_, ++living_;
  largest_ = std::max(largest_, kept_);
}

void LivingTree::die(int slot) {
  const int32_t node = nodeOfSlot_[(size_t)slot];
  if (node < 0) return;
  nodeOfSlot_[(size_t)slot] = -1;
  flags_[(size_t)node] &= (uint8_t)~kAlive;
  --living_;
  dying_.push_back(node);
}

void LivingTree::settle() {
  for (int32_t node : dying_)
    if (flags_[(size_t)node] == 0 && children_[(size_t)node] == 0) leave(node);
  dying_.clear();
}

// A node without living Unit below it goes, and so does each ancestor that
// it leaves dead and childless.
void LivingTree::leave(int32_t node) {
  while (node >= 0) {
    flags_[(size_t)node] = kGone;
    --kept_, ++gone_;
    const int32_t up = parent_[(size_t)node];
    if (up < 0 || --children_[(size_t)up] > 0 || (flags_[(size_t)up] & kAlive)) break;
    node = up;
  }
}

void LivingTree::compact() {
  std::vector<int32_t> moved(id_.size(), -1);
  size_t to = 0;
  for (size_t from = 0; from < id_.size(); ++from) {
    if (flags_[from] & kGone) continue;
    moved[from] = (int32_t)to;
    id_[to] = id_[from], origin_[to] = origin_[from], depth_[to] = depth_[from];
    children_[to] = children_[from], flags_[to] = flags_[from];
    parent_[to] = parent_[from] < 0 ? -1 : moved[(size_t)parent_[from]];  // a parent comes first
    ++to;
  }
  for (auto* v : {&parent_, &depth_, &children_}) v->resize(to);
  id_.resize(to), origin_.resize(to), flags_.resize(to);
  for (int32_t& node : nodeOfSlot_)
    if (node >= 0) node = moved[(size_t)node];
  gone_ = 0;
}

TreeFigures LivingTree::figures() {
  settle();
  if (gone_ > kept_) compact();
  TreeFigures f;
  const int64_t n = living_;
  f.alive = (int32_t)n;
  f.diversity = kept_;
  int32_t deepest = -1;
  below_.assign(id_.size(), 0);
  // Children have greater ids, so going down the ids each node's count of
  // the living below it is whole when it is reached and is passed up.
  for (size_t i = id_.size(); i-- > 0;) {
    if (flags_[i] & kGone) continue;
    const int64_t k = below_[i] + (flags_[i] & kAlive);
    f.pairDistanceSum += k * (n - k);
    if (flags_[i] & kAlive) f.depthSum += depth_[i], f.depthMax = std::max(f.depthMax, depth_[i]);
    if (k == n && deepest < 0) deepest = (int32_t)i;  // the nodes above all the living form a chain
    if (parent_[i] >= 0)
      below_[(size_t)parent_[i]] += (int32_t)k;
    else
      ++f.roots;
  }
  if (n > 0 && deepest >= 0) f.mrca = id_[(size_t)deepest], f.mrcaDepth = depth_[(size_t)deepest];
  return f;
}

std::string LivingTree::newick() {
  settle();
  compact();
  const size_t count = id_.size();
  // Each node's children, in id order.
  std::vector<int32_t> first(count + 1, 0), kids(count);
  for (size_t i = 0; i < count; ++i)
    if (parent_[i] >= 0) ++first[(size_t)parent_[i] + 1];
  for (size_t i = 0; i < count; ++i) first[i + 1] += first[i];
  std::vector<int32_t> fill(first.begin(), first.end() - 1), roots;
  for (size_t i = 0; i < count; ++i) {
    if (parent_[i] >= 0)
      kids[(size_t)fill[(size_t)parent_[i]]++] = (int32_t)i;
    else
      roots.push_back((int32_t)i);
  }
  const auto alive = [&](int32_t node) { return (flags_[(size_t)node] & kAlive) != 0; };
  std::string out;
  struct Open {
    int32_t node;
    int32_t next;     // the next child to write
    int64_t from;     // the arrival frame its branch starts at
    bool written;     // an item was written inside its parentheses
  };
  std::vector<Open> open;
  // Writes node's subtree, or opens it: chains of a dead Unit with one child
  // are passed through to where the branches part, or to a leaf.
  const auto start = [&](int32_t node, int64_t from) {
    while (!alive(node) && first[(size_t)node + 1] - first[(size_t)node] == 1) node = kids[(size_t)first[(size_t)node]];
    if (first[(size_t)node + 1] == first[(size_t)node]) {
      out += std::to_string(id_[(size_t)node]) + ':' + std::to_string(origin_[(size_t)node] - from);
      return;
    }
    out += '(';
    if (alive(node)) out += std::to_string(id_[(size_t)node]) + ":0";
    open.push_back({node, first[(size_t)node], from, alive(node)});
  };
  const auto write = [&](int32_t top, int64_t from) {
    start(top, from);
    while (!open.empty()) {
      Open& o = open.back();
      if (o.next < first[(size_t)o.node + 1]) {
        if (o.written) out += ',';
        o.written = true;
        const int32_t child = kids[(size_t)o.next++];
        const int64_t from = origin_[(size_t)o.node];
        start(child, from);  // may move open's elements
      } else {
        out += ')' + std::to_string(id_[(size_t)o.node]) + ':' + std::to_string(origin_[(size_t)o.node] - o.from);
        open.pop_back();
      }
    }
  };
  if (roots.size() == 1) {
    write(roots[0], 0);
  } else if (roots.size() > 1) {
    out += '(';
    for (size_t r = 0; r < roots.size(); ++r) {
      if (r > 0) out += ',';
      write(roots[r], 0);
    }
    out += ')';
  }
  return out + ";\n";
}

json LivingTree::save() {
  settle();
  json ids = json::array(), parents = json::array(), origins = json::array();
  for (size_t i = 0; i < id_.size(); ++i) {
    if (flags_[i] & kGone) continue;
    ids.push_back(id_[i]);
    parents.push_back(parent_[i] < 0 ? -1 : id_[(size_t)parent_[i]]);
    origins.push_back(origin_[i]);
  }
  return {{"ids", ids}, {"parents", parents}, {"origins", origins}};
}

void LivingTree::restore(const json& saved) {
  const json &ids = saved.at("ids"), &parents = saved.at("parents"), &origins = saved.at("origins");
  if (!ids.is_array() || parents.size() != ids.size() || origins.size() != ids.size())
    throw std::runtime_error("the tree of the living is incomplete");
  LivingTree tree;
  for (size_t i = 0; i < ids.size(); ++i) {
    const int64_t id = wholeNumber(ids.at(i), tree.id_.empty() ? 0 : tree.id_.back() + 1, nextUnitId - 1, "an id");
    const int64_t parent = wholeNumber(parents.at(i), -1, id - 1, "a parent's id");
    const int32_t up = parent >= 0 ? tree.find(parent) : -1;
    if (parent >= 0 && up < 0) throw std::runtime_error("a parent in the tree of the living is missing");
    tree.arrive(0, id, parent, wholeNumber(origins.at(i), 0, INT64_MAX, "a frame of arrival"));
    tree.flags_.back() = 0;  // dead unless the census says otherwise
    --tree.living_;
  }
  tree.nodeOfSlot_.assign(kMaxUnits, -1);
  for (int u = 0; u < kMaxUnits; ++u) {
    if (units.status[u] != Alive) continue;
    const int32_t node = tree.find(lineage[u].id);
    if (node < 0 || (tree.flags_[(size_t)node] & kAlive)) throw std::runtime_error("a living Unit is not in the tree");
    tree.flags_[(size_t)node] = kAlive;
    tree.nodeOfSlot_[(size_t)u] = node;
    ++tree.living_;
  }
  for (size_t i = 0; i < tree.id_.size(); ++i)
    if (tree.flags_[i] == 0 && tree.children_[i] == 0) throw std::runtime_error("the tree of the living holds a dead end");
  tree.largest_ = tree.kept_;
  *this = std::move(tree);
}

std::string phylodiversityRow(int64_t frame, const TreeFigures& f, int64_t changes) {
  char line[256];
  const int64_t n = f.alive;
  int length = std::snprintf(line, sizeof line, "%" PRId64 ",%d,%d,%" PRId64 ",", frame, f.alive, f.roots, f.diversity);
  if (n >= 2) length += std::snprintf(line + length, sizeof line - (size_t)length, "%.6f",
                                      (double)f.pairDistanceSum / ((double)n * (double)(n - 1) / 2.0));
  line[length++] = ',';
  if (f.mrca >= 0) length += std::snprintf(line + length, sizeof line - (size_t)length, "%" PRId64, f.mrca);
  line[length++] = ',';
  if (n > 0) length += std::snprintf(line + length, sizeof line - (size_t)length, "%d", f.mrcaDepth);
  length += std::snprintf(line + length, sizeof line - (size_t)length, ",%" PRId64 ",", changes);
  if (n > 0)
    length += std::snprintf(line + length, sizeof line - (size_t)length, "%.6f,%d", (double)f.depthSum / (double)n,
                            f.depthMax);
  else
    line[length++] = ',';
  line[length++] = '\n';
  return std::string(line, (size_t)length);
}
