#include "platform/stop_signal.h"

#include <signal.h>

namespace platform {

namespace {

volatile sig_atomic_t stop_signalled = 0;

void RaiseStopFlag(int) {
  stop_signalled = 1;
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = RaiseStopFlag;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: an interrupted wait ends and the loop looks at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

bool StopSignalled() {
  return stop_signalled != 0;
}

}  // namespace platform
