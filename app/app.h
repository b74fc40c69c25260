// The application shell: start-up, display mode, the frame loop and shutdown.
#pragma once

struct BITMAP;

extern BITMAP* backBuffer;
extern BITMAP* backgroundImage;
extern BITMAP* cursorImage;
extern BITMAP* graphBitmap;
extern bool fullscreenMode;

// Starts the library with a first 400 x 20 window; exits with -1 and a
// message when no window can be opened.
void initAllegro();
// Switches the screen to 1024 x 768 as fullscreenMode asks. Returns false
// when no mode at all could be set (there is no screen to draw to).
bool setDisplayMode();
void shutdownAllegro();

// Makes the back buffer and the graph bitmap and loads the pictures and the
// font. Returns false, with a message naming the file, when one is missing
// or unreadable; nothing else is loaded then.
bool loadResources();
void releaseResources();
// True when the picture file (".bmp" or ".pcx") loads without any read past
// its end: a file cut short is not whole, though the library would load it.
bool resourceFileIsWhole(const char* name);

// One frame of the loop. Returns false when ESC ended the loop (nothing of
// the frame ran then).
bool runFrame();
// Carries out the action of the button that fired (0: none).
void dispatchButton(int id);

// The whole program: start-up, frames until ESC, autosave, shutdown.
int runProgram();
