// The settings that the frame loop, the keys and the buttons change and the
// panels show.
#include "ui/ui.h"

FONT* uiFont = nullptr;
float tolerance = 0.0f;
int32_t activeSlot = 0;
int32_t paused = 0;
