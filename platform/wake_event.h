// A wake-up signal another thread can raise to end a readiness wait early.
#pragma once

#include <atomic>

namespace platform {

class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Raises the signal; safe from any thread, cheap when already raised.
  void Signal();
  // Lowers the signal again. What the raisers did before raising it is to be taken up after
  // this returns: a raise that comes meanwhile may be folded into the one lowered.
  void Clear();
  // The descriptor to watch for readability.
  int handle() const { return fd_; }

 private:
  int fd_;
  // Set from the first raise until the next Clear: further raises skip the write, so a burst
  // of answers from the workers costs the loop one wake and them one system call.
  std::atomic<bool> raised_{false};
};

}  // namespace platform
