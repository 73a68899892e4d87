#include "server/catalogue/read_budget.h"

bool ReadBudget::Acquire(uint64_t bytes, std::chrono::milliseconds wait) {
  if (bytes == 0) return true;  // an empty file takes no room and need not wait its turn
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool granted;
  {
    platform::MutexLock hold(&lock_);
    const uint64_t ticket = next_ticket_++;
    auto place = line_.insert(line_.end(), ticket);
    auto turn = [&]() REQUIRES(lock_) {
      return line_.front() == ticket &&
             (in_use_ == 0 || (in_use_ <= limit_ && bytes <= limit_ - in_use_));
    };
    granted = turn();
    while (!granted && released_.WaitUntil(&lock_, deadline)) granted = turn();
    // A wait that timed out may still have been given its turn.
    granted = granted || turn();
    if (granted) in_use_ += bytes;
    // Leaving the line, granted or not, may make it the next one's turn.
    line_.erase(place);
  }
  released_.NotifyAll();
  return granted;
}

void ReadBudget::Release(uint64_t bytes) {
  if (bytes == 0) return;
  {
    platform::MutexLock hold(&lock_);
    in_use_ -= bytes;
  }
  released_.NotifyAll();
}

uint64_t ReadBudget::InUse() {
  platform::MutexLock hold(&lock_);
  return in_use_;
}

int ReadBudget::Waiting() {
  platform::MutexLock hold(&lock_);
  return static_cast<int>(line_.size());
}
