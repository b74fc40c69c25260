// Presentation: everything drawn besides the background, and the on-screen
// buttons. Drawing goes to Allegro bitmaps; the simulation tables are read
// directly.
#pragma once
#include <cstdint>

struct BITMAP;
struct FONT;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int WorldOffsetX = 182;
constexpr int WorldOffsetY = 43;

// State shared by the frame loop and the panels.
extern FONT* uiFont;
extern float tolerance;     // Similarity-Tolerance, 0 to 40
extern int32_t activeSlot;  // 0 to 6
extern int32_t paused;

int pointInRect(int px, int py, int x1, int y1, int x2, int y2);

// Glyphs and markers.
void drawUnitGlyph(BITMAP* bitmap, int id, int x, int y);
void drawWorld(BITMAP* bitmap, int offsetX, int offsetY);
// drawWorld with or without the selection markers; pictures of the world
// leave them out.
void drawWorldLayers(BITMAP* bitmap, int offsetX, int offsetY, bool markers);

// Magnifier. Its working bitmap is made once (initMagnifier) and reused; when
// it could not be made the magnifier draws nothing.
void initMagnifier(int factor);
void releaseMagnifier();
void drawMagnifier(BITMAP* bitmap, int centreX, int centreY, int destX, int destY, int factor);

// Status panel: tolerance bar, population graph, status line, tooltip.
extern int32_t graphTimer;
void drawStatusPanel(BITMAP* backBuffer, BITMAP* graphBitmap);

// Slot panel; re-reads the slot files every 50 frames.
extern bool slotFileFound[7];
void drawSlotPanel(BITMAP* bitmap, int x, int y, int step);

// Buttons and tooltips.
extern int32_t buttonCooldown;
extern char tooltipText[200];
int pollButtons();

// Notices drawn straight onto the screen while a file is read or written.
void drawFileNotice(const char* text);
