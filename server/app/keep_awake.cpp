#include "server/app/keep_awake.h"

#include "platform/sleep_inhibitor.h"

namespace {

class LogindSleepLock : public SleepLock {
 public:
  bool Acquire() override { return inhibitor_.Acquire("Lumenvale", "Pictures are being served"); }
  void Release() override { inhibitor_.Release(); }

 private:
  platform::SleepInhibitor inhibitor_;
};

}  // namespace

std::unique_ptr<SleepLock> MakeLogindSleepLock() {
  return std::make_unique<LogindSleepLock>();
}

KeepAwake::KeepAwake(uint32_t reset_standby_access, std::unique_ptr<SleepLock> lock)
    : lock_(reset_standby_access == 1 ? std::move(lock) : nullptr) {}

KeepAwake::~KeepAwake() {
  if (held_) lock_->Release();
}

void KeepAwake::OnTurn(int64_t now_ms, bool active) {
  if (lock_ == nullptr) return;
  if (active) {
    last_activity_ms_ = now_ms;
    if (!held_ && (!tried_ || now_ms - last_try_ms_ >= kQuietMs)) {
      tried_ = true;
      last_try_ms_ = now_ms;
      held_ = lock_->Acquire();
    }
  } else if (held_ && now_ms - last_activity_ms_ >= kQuietMs) {
    lock_->Release();
    held_ = false;
  }
}
