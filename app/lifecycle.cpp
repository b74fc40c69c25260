// The ways out of the program besides ESC, and the periodic autosave.
//
// SIGTERM, SIGINT, SIGHUP and the window's close button only raise a flag;
// the frame loop looks at it where it looks at ESC and ends the same way,
// with the autosave. The flag is a lock-free atomic: safe in a signal
// handler, and the close button's callback runs on the library's own thread.
//
// The periodic autosave copies what the state file holds (about a
// millisecond) and writes the copy on a thread of its own, so the frames go
// on while the text is formatted and forced to the disk (tens of
// milliseconds). While the world is paused and left alone nothing is
// written; a paused world changed by a button is written at the next turn.
#include <allegro.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "app/app.h"
#include "app/startup.h"
#include "persist/statefile.h"

namespace {

std::atomic<int> quitRequest{0};
static_assert(std::atomic<int>::is_always_lock_free, "the quit flag is set from a signal handler");

void onQuitSignal(int signal) { quitRequest.store(signal, std::memory_order_relaxed); }
void onCloseButton() { quitRequest.store(-1, std::memory_order_relaxed); }

using Clock = std::chrono::steady_clock;

Clock::duration autosaveInterval = std::chrono::minutes(10);
Clock::time_point lastAutosave;
const char* autosaveName = nullptr;

// What the last periodic autosave wrote, and the thread writing it. The
// thread object lives on the heap: a joinable std::thread destroyed by an
// exit while it writes (the X server gone, say) would abort the program.
StateSnapshot autosaveCopy;
bool copyIsOnDisk = false;
std::thread* writer = nullptr;
std::atomic<bool> writerDone{false};
std::atomic<bool> writerSucceeded{false};

void writeAutosaveCopy() {
  writerSucceeded = saveStateSnapshot(autosaveName, autosaveCopy);
  writerDone = true;
}

void joinWriter() {
  writer->join();
  delete writer;
  writer = nullptr;
  copyIsOnDisk = writerSucceeded;
}

}  // namespace

void holdQuitSignals() {
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void installQuitHandlers() {
  installStopHandler(onQuitSignal, SA_RESTART);  // a save or a message box in progress goes on
  set_close_button_callback(onCloseButton);
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool quitRequested() { return quitRequest.load(std::memory_order_relaxed) != 0; }

void startAutosaveClock(const char* name, int seconds) {
  autosaveName = name;
  autosaveInterval = std::chrono::seconds(seconds);
  lastAutosave = Clock::now();
  // A first copy now, while the program starts, so that the copy's memory
  // is in place before the first periodic autosave: the copy into it then
  // takes about a millisecond instead of ten.
  takeStateSnapshot(autosaveCopy);
  copyIsOnDisk = false;
}

void autosaveIfDue() {
  if (writer) {
    if (!writerDone) return;
    joinWriter();
  }
  const Clock::time_point now = Clock::now();
  if (now - lastAutosave < autosaveInterval) return;
  lastAutosave = now;
  // A world that stood still (paused, untouched) since the last autosave
  // is on the disk already.
  if (copyIsOnDisk && stateMatchesSnapshot(autosaveCopy)) return;
  takeStateSnapshot(autosaveCopy);
  copyIsOnDisk = false;
  writerDone = false;
  // The writer leaves the quit signals to the frame loop's thread.
  sigset_t quit = stopSignals(), previous;
  pthread_sigmask(SIG_BLOCK, &quit, &previous);
  try {
    writer = new std::thread(writeAutosaveCopy);
  } catch (const std::exception&) {
    writer = nullptr;  // no thread to be had: write the copy here
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!writer) copyIsOnDisk = saveStateSnapshot(autosaveName, autosaveCopy);
}

void finishAutosave() {
  if (writer) joinWriter();
}
