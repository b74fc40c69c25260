#include "app/startup.h"

#include "persist/numbers.h"

bool parseSeed(const std::string& text, uint32_t& seed) {
  int64_t value = 0;
  if (readWhole(text, &value, false) != WholeText::Whole || value > UINT32_MAX) return false;
  seed = (uint32_t)value;
  return true;
}

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

void installStopHandler(void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}
