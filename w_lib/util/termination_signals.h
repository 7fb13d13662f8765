// Holding off the signals that end a program (SIGINT, SIGTERM, SIGHUP) on
// the calling thread: a signal that arrives meanwhile waits, pending, until
// the hold ends. A thread started during the hold keeps them off for its
// whole life, so that they go to the thread that holds them off only while
// it must. Nothing on Windows, whose console handler runs on a thread of
// its own.
#pragma once

#if !defined(_WIN32)
#include <signal.h>
#endif

class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  ~TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
#if !defined(_WIN32)
  sigset_t before_;  // the thread's signal mask before the hold
#endif
};
