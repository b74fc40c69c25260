// What both programs share at start-up: the --seed rule and the stop signals.
#include <gtest/gtest.h>
#include <signal.h>

#include "app/startup.h"

namespace {

TEST(Startup, SeedIsDigitsOnlyFromZeroTo2To32Minus1) {
  for (auto [text, want] : {std::pair<const char*, uint32_t>{"0", 0}, {"7", 7}, {"007", 7}, {"4294967295", 4294967295u},
                            {"00000000000000000000004294967295", 4294967295u}}) {
    uint32_t seed = 1;
    EXPECT_TRUE(parseSeed(text, seed)) << text;
    EXPECT_EQ(seed, want) << text;
  }
  for (const char* text : {"", "+7", "-0", "-1", " 7", "7 ", "7x", "0x10", "4294967296", "18446744073709551623",
                           "99999999999999999999999999"}) {
    uint32_t seed = 5;
    EXPECT_FALSE(parseSeed(text, seed)) << text;
    EXPECT_EQ(seed, 5u) << text << ": a refused seed changes nothing";
  }
}

volatile sig_atomic_t caught = 0;
void onSignal(int sig) { caught = sig; }

TEST(Startup, StopSignalsAreTermIntAndHupAndReachTheHandler) {
  const sigset_t set = stopSignals();
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) EXPECT_EQ(sigismember(&set, sig), 1) << sig;
  EXPECT_EQ(sigismember(&set, SIGQUIT), 0);
  struct sigaction before[3];
  const int signals[3] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i) sigaction(signals[i], nullptr, &before[i]);
  // Once: the handler takes each, and with SA_RESETHAND only the first.
  installStopHandler(onSignal, SA_RESETHAND);
  for (int sig : signals) {
    caught = 0;
    raise(sig);
    EXPECT_EQ(caught, sig);
    struct sigaction now;
    sigaction(sig, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << sig;
  }
  installStopHandler(onSignal, SA_RESTART);
  for (int sig : signals) {
    struct sigaction now;
    sigaction(sig, nullptr, &now);
    EXPECT_EQ(now.sa_handler, &onSignal);
    EXPECT_TRUE(now.sa_flags & SA_RESTART);
  }
  for (int i = 0; i < 3; ++i) sigaction(signals[i], &before[i], nullptr);
}

}  // namespace
