// What both programs, the window and the headless runner, do alike at
// start-up: read --seed, and take the signals that ask them to stop. No
// window library here: the runner builds without one.
#pragma once
#include <signal.h>

#include <cstdint>
#include <string>

// --seed's value: a whole number from 0 to 4294967295, in digits only (no
// sign, no spaces). False for anything else, whose message is kSeedRule.
constexpr char kSeedRule[] = "--seed must be a whole number from 0 to 4294967295";
bool parseSeed(const std::string& text, uint32_t& seed);

// The signals that ask a program to stop: TERM, INT and HUP.
sigset_t stopSignals();
// Makes handler take the stop signals, with sigaction's flags (SA_RESTART,
// SA_RESETHAND, ...); other signals are not blocked while it runs.
void installStopHandler(void (*handler)(int), int flags);
