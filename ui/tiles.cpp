// Tile sets and the rectangles sent to the screen.
#include "ui/tiles.h"

namespace ui_detail {

void add(TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k) set[ty][k] |= t.mask[k];
}

bool any(const TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k)
      if (set[ty][k] & t.mask[k]) return true;
  return false;
}

bool all(const TileSet& set, const ScreenRect& r) {
  const TileSpan t(r);
  for (int ty = t.ty0; ty <= t.ty1; ++ty)
    for (int k = 0; k < kRowWords; ++k)
      if ((set[ty][k] & t.mask[k]) != t.mask[k]) return false;
  return true;
}

void RegionList::add(const ScreenRect& r) {
  if (r.empty()) return;
  if (count == kMax) {
    rects[0] = ScreenRect{0, 0, kScreenWidth, kScreenHeight};
    count = 1;
    return;
  }
  rects[count++] = r;
}

namespace {

// A blit to the screen costs about as much as copying this many pixels more
// (under X11, measured with bench/window.sh): neighbouring changed runs are
// sent as one rectangle when that covers at most this many unchanged pixels.
constexpr int64_t kBlitCost = 4000;

inline int64_t area(const ScreenRect& r) { return (int64_t)(r.x1 - r.x0) * (r.y1 - r.y0); }

}  // namespace

void collectChangedRegions(const TileSet& redrawn, const TileSet& written, RegionList& out) {
  constexpr int kMaxOpen = 64;
  ScreenRect open[kMaxOpen];
  bool extended[kMaxOpen];
  int openCount = 0;
  for (int ty = 0; ty <= kTilesY; ++ty) {
    ScreenRect runs[kTilesX];
    int runCount = 0;
    if (ty < kTilesY) {
      uint64_t changed[kRowWords];
      for (int k = 0; k < kRowWords; ++k) changed[k] = redrawn[ty][k] | written[ty][k];
      forEachRun(changed, [&](int a, int b) {
        const ScreenRect run{a * kTile, ty * kTile, (b + 1) * kTile, (ty + 1) * kTile};
        if (runCount > 0 && (int64_t)(run.x0 - runs[runCount - 1].x1) * kTile <= kBlitCost)
          runs[runCount - 1].x1 = run.x1;
        else
          runs[runCount++] = run;
      });
    }
    for (int o = 0; o < openCount; ++o) extended[o] = false;
    for (int n = 0; n < runCount; ++n) {
      const ScreenRect& run = runs[n];
      int chosen = -1;
      for (int o = 0; o < openCount && chosen < 0; ++o) {
        const ScreenRect joined = open[o].unite(run);
        if (open[o].y1 == run.y0 && area(joined) <= area(open[o]) + area(run) + kBlitCost) chosen = o;
      }
      if (chosen >= 0) {
        open[chosen] = open[chosen].unite(run);
        extended[chosen] = true;
      } else if (openCount < kMaxOpen) {
        open[openCount] = run;
        extended[openCount++] = true;
      } else {
        out.add(run);
      }
    }
    // Rectangles the row did not reach are finished.
    int kept = 0;
    for (int o = 0; o < openCount; ++o) {
      if (extended[o])
        open[kept++] = open[o];
      else
        out.add(open[o]);
    }
    openCount = kept;
  }
}

}  // namespace ui_detail
