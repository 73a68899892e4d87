// Test helper: a count-down latch on a mutex and a condition variable. A latch must outlive
// every job that may still touch it; share it (std::shared_ptr) when a job can outlast the
// test body.
#pragma once

#include <cstddef>

#include "platform/mutex.h"

class TestLatch {
 public:
  explicit TestLatch(std::ptrdiff_t count) : count_(count) {}
  TestLatch(const TestLatch&) = delete;
  TestLatch& operator=(const TestLatch&) = delete;

  void count_down() {
    platform::MutexLock guard(&mutex_);
    if (count_ > 0 && --count_ == 0) zero_.NotifyAll();
  }
  void wait() {
    platform::MutexLock guard(&mutex_);
    while (count_ != 0) zero_.Wait(&mutex_);
  }

 private:
  platform::Mutex mutex_;
  platform::CondVar zero_;
  std::ptrdiff_t count_ GUARDED_BY(mutex_);
};
