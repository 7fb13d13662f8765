// The hold on the termination signals, through the thread's signal mask.
#include "w_lib/util/termination_signals.h"

#if !defined(_WIN32)
#include <pthread.h>

#include <cerrno>
#include <initializer_list>

TerminationSignalsHeld::TerminationSignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
  pthread_sigmask(SIG_BLOCK, &held, &before_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
  const int saved = errno;
  pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  errno = saved;
}
#else
TerminationSignalsHeld::TerminationSignalsHeld() = default;
TerminationSignalsHeld::~TerminationSignalsHeld() = default;
#endif
