#include "picture/screenshot.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "picture/png.h"
#include "picture/world_picture.h"

namespace {

constexpr size_t kMaxWaiting = 8;

struct ScreenshotQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::unique_ptr<RgbImage>> waiting;
  bool writing = false;
  std::thread worker;
  int nextNumber = 1;  // the numbers below were taken in this run

  // A program that leaves without finishing first still writes what it
  // queued.
  ~ScreenshotQueue() { finish(); }
  void finish() {
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [this] { return !writing; });
    if (worker.joinable()) worker.join();
  }
};

ScreenshotQueue queue;

// The next free number from nextNumber on; link() inside writePng never
// replaces a file, so a name taken meanwhile by someone else is skipped.
void writeNext(const RgbImage& picture) {
  for (int tries = 0; tries < 100000; ++tries) {
    char name[32];
    std::snprintf(name, sizeof name, "tarn-%04d.png", queue.nextNumber);
    std::string error;
    bool existed = false;
    if (writePng(name, picture, PngTarget::New, error, &existed)) {
      ++queue.nextNumber;
      std::printf("saved %s\n", name);
      std::fflush(stdout);
      return;
    }
    if (!existed) {
      std::fprintf(stderr, "tarn: screenshot not saved: %s\n", error.c_str());
      return;
    }
    ++queue.nextNumber;
  }
  std::fprintf(stderr, "tarn: screenshot not saved: no free name\n");
}

void work() {
  std::unique_lock<std::mutex> held(queue.lock);
  while (!queue.waiting.empty()) {
    std::unique_ptr<RgbImage> picture = std::move(queue.waiting.front());
    queue.waiting.pop_front();
    held.unlock();
    writeNext(*picture);
    held.lock();
  }
  queue.writing = false;
  queue.changed.notify_all();
}

}  // namespace

void queueScreenshot(BITMAP* shown) {
  if (!shown) return;
  auto picture = std::make_unique<RgbImage>();
  copyBitmap(shown, *picture);
  std::lock_guard<std::mutex> held(queue.lock);
  if (queue.waiting.size() >= kMaxWaiting) {
    std::fprintf(stderr, "tarn: screenshot dropped: %zu are still being written\n", queue.waiting.size());
    return;
  }
  queue.waiting.push_back(std::move(picture));
  if (!queue.writing) {
    // The previous worker has run out of work and is ending or has ended.
    if (queue.worker.joinable()) queue.worker.join();
    queue.writing = true;
    queue.worker = std::thread(work);
  }
}

void finishScreenshots() { queue.finish(); }
