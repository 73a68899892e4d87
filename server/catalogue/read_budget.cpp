#include "server/catalogue/read_budget.h"

bool ReadBudget::Acquire(uint64_t bytes, std::chrono::milliseconds wait) {
  if (bytes == 0) return true;  // an empty file takes no room and need not wait its turn
  std::unique_lock<std::mutex> hold(lock_);
  const uint64_t ticket = next_ticket_++;
  auto place = line_.insert(line_.end(), ticket);
  auto turn = [&] {
    return line_.front() == ticket &&
           (in_use_ == 0 || (in_use_ <= limit_ && bytes <= limit_ - in_use_));
  };
  const bool granted = released_.wait_for(hold, wait, turn);
  if (granted) in_use_ += bytes;
  // Leaving the line, granted or not, may make it the next one's turn.
  line_.erase(place);
  hold.unlock();
  released_.notify_all();
  return granted;
}

void ReadBudget::Release(uint64_t bytes) {
  if (bytes == 0) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    in_use_ -= bytes;
  }
  released_.notify_all();
}

uint64_t ReadBudget::InUse() {
  std::lock_guard<std::mutex> hold(lock_);
  return in_use_;
}

int ReadBudget::Waiting() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(line_.size());
}
