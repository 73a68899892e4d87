// A wake-up signal another thread can raise to end a readiness wait early.
#pragma once

namespace platform {

class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Raises the signal; safe from any thread, cheap when already raised.
  void Signal();
  // Lowers the signal again.
  void Clear();
  // The descriptor to watch for readability.
  int handle() const { return fd_; }

 private:
  int fd_;
};

}  // namespace platform
