// Test helper: a worker job that holds its worker until the test opens a gate, so that the
// jobs queued behind it wait deterministically.
#pragma once

#include "platform/testing/test_latch.h"
#include "server/threads/thread_mgr.h"

class GateJob : public CThreadCommand {
 public:
  // `started` counts down once the job runs; the job returns once `gate` reaches zero. Both
  // must outlive the job.
  GateJob(TestLatch* started, TestLatch* gate) : started_(started), gate_(gate) {}
  int Run() override {
    started_->count_down();
    gate_->wait();
    return 0;
  }

 private:
  TestLatch* started_;
  TestLatch* gate_;
};
