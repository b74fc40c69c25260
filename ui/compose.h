// Composing the frame on the back buffer, and sending it to the screen.
//
// The whole frame is background, cells, glyphs and circles in slot order,
// slot rows, status panel (tolerance bar, graph, status line, tooltip),
// magnifier and cursor, each covering what came before. composeChangedFrame
// gives the same picture from the previous one: the back buffer keeps the
// last frame, and only the screen tiles where something that is drawn has
// changed since (cells, a Unit's glyph, place or circles, a panel's
// contents, the tooltip, the magnifier, the cursor) are restored from the
// background and drawn again in that order, clipped to those tiles. The
// changed tiles are what sendChangedRegions copies to the screen.
#pragma once
#include "ui/ui.h"

struct BITMAP;
// What the composer keeps from one frame to the next (ui/composed_frame.h);
// the frame loop owns it.
struct ComposedFrame;

// The pictures the frame is built from, owned by the frame loop.
struct FramePictures {
  BITMAP* background;  // at least the screen's size
  BITMAP* cursor;      // 20 x 20 used, magenta transparent
  BITMAP* graph;       // the population graph, or nullptr
};

// The points that follow the mouse or the picked primary Unit: the
// tooltip's mouse point, the magnifier's centre and the cursor's point.
struct FramePoints {
  int tooltipX, tooltipY;
  int magnifierX, magnifierY;
  int cursorX, cursorY;
};
// Reads them as the frame's drawing steps do, in the same order: the mouse
// afresh for each, the picked primary's screen point for the magnifier
// while there is one.
FramePoints readFramePoints();

// The whole frame on target. Reads the tables and changes nothing but
// target (the slot files' re-read and the graph's scroll come before:
// refreshSlotPanel, advanceGraph).
void composeWholeFrame(BITMAP* target, const FramePictures& pictures, const FramePoints& points);

// The same picture, composed where it may have changed since the previous
// call on the same record; graphChanged tells that the graph bitmap changed since then. The
// first call, and the first after forgetComposedFrame, composes it whole, as
// does every call on bitmaps other than 32-bit memory bitmaps. The regions
// it composed are added to those that sendChangedRegions copies.
void composeChangedFrame(ComposedFrame& frame, BITMAP* target, const FramePictures& pictures,
                         const FramePoints& points, bool graphChanged);
void forgetComposedFrame(ComposedFrame& frame);

// Copies to the screen bitmap what changed on from since the last call,
// and whatever was drawn on the screen meanwhile (markScreenDamaged), or
// all of it after markScreenLost (a new display mode).
void sendChangedRegions(ComposedFrame& frame, BITMAP* from, BITMAP* screenBitmap);
void markScreenDamaged(ComposedFrame& frame, const ScreenRect& rect);
void markScreenLost(ComposedFrame& frame);

// A test aid: when set, every composeChangedFrame also composes the frame
// whole and compares, and every sendChangedRegions keeps a copy of what the
// screen was sent and compares it with the frame. frameDifferences counts
// the comparisons that found a pixel that differs; firstFrameDifference
// names the first of them.
extern bool checkComposedFrames;
extern long frameDifferences;
extern char firstFrameDifference[160];
