// Screenshots of the window: the frame just shown, written as the next free
// "tarn-0001.png", "tarn-0002.png", ... in the working directory. The frame
// is copied at once; the PNG is encoded and written on a worker thread, so
// the frame loop does not wait for it.
#pragma once

struct BITMAP;

// Copies the bitmap and queues it to be written. Reports on standard error
// when too many are still waiting (the copy is then dropped).
void queueScreenshot(BITMAP* shown);

// Waits until every queued screenshot is written.
void finishScreenshots();
