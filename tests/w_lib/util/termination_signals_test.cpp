// Holding off the termination signals: they wait while held, then arrive.
#include "w_lib/util/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

std::atomic<int> g_arrived{0};

extern "C" void Count(int) { g_arrived.fetch_add(1); }

}  // namespace

TEST(TerminationSignals, WaitWhileHeldAndArriveAfter) {
  struct sigaction count {}, before {};
  count.sa_handler = Count;
  sigemptyset(&count.sa_mask);
  ASSERT_EQ(sigaction(SIGHUP, &count, &before), 0);
  g_arrived = 0;
  {
    const TerminationSignalsHeld held;
    raise(SIGHUP);
    EXPECT_EQ(g_arrived.load(), 0) << "arrived while held";
    // A thread started now keeps them off for good.
    std::thread started([] {
      sigset_t mask;
      pthread_sigmask(SIG_BLOCK, nullptr, &mask);
      EXPECT_EQ(sigismember(&mask, SIGINT), 1);
      EXPECT_EQ(sigismember(&mask, SIGTERM), 1);
      EXPECT_EQ(sigismember(&mask, SIGHUP), 1);
    });
    started.join();
  }
  EXPECT_EQ(g_arrived.load(), 1) << "arrives once the hold ends";
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_EQ(sigismember(&mask, SIGHUP), 0) << "the mask is as it was";
  sigaction(SIGHUP, &before, nullptr);
}
