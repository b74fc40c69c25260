// Pictures of the world, drawn without a display by the window's own world
// drawing: black, then the cells and the Unit glyphs of drawWorld with the
// world's offset at (0, 0) and no selection markers. Glyphs that reach past
// the field's edge are cut at the picture's edge.
#pragma once
#include <string>

#include "genome/genome.h"
#include "picture/image.h"
#include "experiment/runinfo.h"  // kMaxPictureScale

struct BITMAP;

// Starts the drawing library for a program without a display (memory
// bitmaps only, 32-bit colour). False with a message when it cannot.
bool startHeadlessDrawing(std::string& error);

// The world now, 825 x 525 pixels times scale (1 to kMaxPictureScale), each
// cell a scale x scale block. Reads the tables; changes nothing.
void drawWorldPicture(RgbImage& picture, int scale);

// The 6 x 6 glyph the window draws for genome, on black, each pixel a
// scale x scale block (1 to kMaxPictureScale).
void drawGlyphPicture(RgbImage& picture, const Genome& genome, int scale);

// The pixels of a bitmap of any colour depth, as the screen shows them.
void copyBitmap(BITMAP* bitmap, RgbImage& picture);
