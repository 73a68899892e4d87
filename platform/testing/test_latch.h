// Test helper: a count-down latch on a mutex and a condition variable. A latch must outlive
// every job that may still touch it; share it (std::shared_ptr) when a job can outlast the
// test body.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

class TestLatch {
 public:
  explicit TestLatch(std::ptrdiff_t count) : count_(count) {}
  TestLatch(const TestLatch&) = delete;
  TestLatch& operator=(const TestLatch&) = delete;

  void count_down() {
    std::lock_guard guard(mutex_);
    if (count_ > 0 && --count_ == 0) zero_.notify_all();
  }
  void wait() {
    std::unique_lock guard(mutex_);
    zero_.wait(guard, [this] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable zero_;
  std::ptrdiff_t count_;  // guarded by mutex_
};
