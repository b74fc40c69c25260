// The screen cut into tiles of 8 x 8 pixels, sets of them, and the
// rectangles that are sent to the screen.
#pragma once
#include <cstdint>
#include <cstring>

#include "ui/ui.h"

namespace ui_detail {

constexpr int kTile = 8;
constexpr int kTilesX = kScreenWidth / kTile, kTilesY = kScreenHeight / kTile;
constexpr int kRowWords = kTilesX / 64;
static_assert(kScreenWidth % (64 * kTile) == 0 && kScreenHeight % kTile == 0, "whole words of whole tiles");

// A set of tiles: bit tx % 64 of word tx / 64 in row ty.
using TileSet = uint64_t[kTilesY][kRowWords];

inline ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
  ScreenRect r{a.x0 > b.x0 ? a.x0 : b.x0, a.y0 > b.y0 ? a.y0 : b.y0, a.x1 < b.x1 ? a.x1 : b.x1,
               a.y1 < b.y1 ? a.y1 : b.y1};
  return r.empty() ? ScreenRect{} : r;
}

// The tiles a rectangle covers: rows ty0..ty1, and in each row the bits of
// mask.
struct TileSpan {
  int tx0, tx1, ty0, ty1;
  uint64_t mask[kRowWords];
  explicit TileSpan(const ScreenRect& r) {
    tx0 = r.x0 / kTile;
    tx1 = (r.x1 - 1) / kTile;
    ty0 = r.y0 / kTile;
    ty1 = r.empty() ? ty0 - 1 : (r.y1 - 1) / kTile;
    for (int k = 0; k < kRowWords; ++k) {
      const int lo = tx0 > 64 * k ? tx0 - 64 * k : 0, hi = tx1 < 64 * k + 63 ? tx1 - 64 * k : 63;
      mask[k] = lo > hi ? 0 : (~uint64_t(0) >> (63 - (hi - lo))) << lo;
    }
  }
};

void add(TileSet& set, const ScreenRect& r);
bool any(const TileSet& set, const ScreenRect& r);
bool all(const TileSet& set, const ScreenRect& r);
inline bool has(const TileSet& set, int tx, int ty) { return (set[ty][tx / 64] >> (tx % 64)) & 1; }

// The runs of set bits (first and last tile) of one row of tiles.
template <typename F>
void forEachRun(const uint64_t bits[kRowWords], F f) {
  int t = 0;
  while (t < kTilesX) {
    int k = t / 64;
    uint64_t w = bits[k] & (~uint64_t(0) << (t % 64));
    while (!w && ++k < kRowWords) w = bits[k];
    if (!w) return;
    const int first = 64 * k + __builtin_ctzll(w);
    k = first / 64;
    uint64_t gap = ~bits[k] & (~uint64_t(0) << (first % 64));
    while (!gap && ++k < kRowWords) gap = ~bits[k];
    const int end = gap ? 64 * k + __builtin_ctzll(gap) : kTilesX;
    f(first, end - 1);
    t = end;
  }
}

// The parts of r on tiles of set as rectangles: the runs of each row of
// tiles, rows with the same runs taken together, each clipped to r.
template <typename F>
void forEachRectOn(const TileSet& set, const ScreenRect& r, F f) {
  if (r.empty()) return;
  const TileSpan span(r);
  uint64_t group[kRowWords] = {};
  int groupTop = span.ty0;
  for (int ty = span.ty0; ty <= span.ty1 + 1; ++ty) {
    uint64_t row[kRowWords] = {};
    if (ty <= span.ty1)
      for (int k = 0; k < kRowWords; ++k) row[k] = set[ty][k] & span.mask[k];
    if (ty <= span.ty1 && std::memcmp(row, group, sizeof row) == 0) continue;
    forEachRun(group, [&](int a, int b) {
      const ScreenRect part = intersect(r, ScreenRect{a * kTile, groupTop * kTile, (b + 1) * kTile, ty * kTile});
      if (!part.empty()) f(part);
    });
    std::memcpy(group, row, sizeof row);
    groupTop = ty;
  }
}

// The rectangles waiting to be sent to the screen. When too many gather,
// they become the whole screen.
struct RegionList {
  static constexpr int kMax = 4096;
  ScreenRect rects[kMax] = {};
  int count = 0;
  void add(const ScreenRect& r);
};

// The tiles of changed (redrawn or written) as few rectangles, added to
// out: each row's runs, close runs joined, then stacked onto the rectangles
// of the rows above where that is cheaper than another blit.
void collectChangedRegions(const TileSet& redrawn, const TileSet& written, RegionList& out);

}  // namespace ui_detail
