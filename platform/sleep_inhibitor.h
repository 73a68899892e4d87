// Keeping the computer awake through logind's inhibitor locks.
#pragma once

#include <string>

namespace platform {

// One idle-and-sleep inhibitor lock: while it is held, logind neither suspends the computer
// nor lets the idle timer act. Released when Release is called or the object goes.
class SleepInhibitor {
 public:
  SleepInhibitor() = default;
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Asks logind on the system bus for the lock, naming `who` and `why` as tools such as
  // `systemd-inhibit --list` show them. False when there is no system bus or no logind, or
  // it refused; waits at most a second for the answer.
  bool Acquire(const std::string& who, const std::string& why);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;  // logind holds the lock while this descriptor is open
};

}  // namespace platform
