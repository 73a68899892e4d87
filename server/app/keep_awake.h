// Keeps the computer from sleeping while the gallery is in use, when the configuration asks
// for it (RESET_STANDBY_ACCESS 1).
#pragma once

#include <cstdint>
#include <memory>

// The system's sleep lock, as KeepAwake uses it.
class SleepLock {
 public:
  virtual ~SleepLock() = default;
  // False when the lock could not be had (no logind, or it refused).
  virtual bool Acquire() = 0;
  virtual void Release() = 0;
};

// logind's idle-and-sleep inhibitor.
std::unique_ptr<SleepLock> MakeLogindSleepLock();

// Holds the lock from the first loop turn that served something until a quiet minute has
// passed. When the lock cannot be had, asks again at most once a quiet period, so a system
// without logind costs nothing per request.
class KeepAwake {
 public:
  static constexpr int64_t kQuietMs = 60000;

  // `lock` is used only when `reset_standby_access` is 1; with any other value nothing is
  // ever held.
  KeepAwake(uint32_t reset_standby_access, std::unique_ptr<SleepLock> lock);
  ~KeepAwake();

  // Called after every loop turn; `active` when the turn served something.
  void OnTurn(int64_t now_ms, bool active);
  bool held() const { return held_; }

 private:
  std::unique_ptr<SleepLock> lock_;  // null when disabled
  bool held_ = false;
  int64_t last_activity_ms_ = 0;
  bool tried_ = false;
  int64_t last_try_ms_ = 0;
};
