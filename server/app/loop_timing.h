// The main loop's timing figures, written by the loop thread and read by the status page
// from any thread.
#pragma once

#include <atomic>
#include <cstdint>

class LoopTiming {
 public:
  // Records one step that ran from `start_ms` to `end_ms` and whether it found work.
  void RecordStep(int64_t start_ms, int64_t end_ms, bool busy);

  int64_t last_step_ms() const { return last_step_ms_.load(); }
  int64_t busy_start_ms() const { return busy_start_ms_.load(); }
  int64_t last_busy_length_ms() const { return last_busy_length_ms_.load(); }
  bool busy() const { return busy_.load(); }

 private:
  std::atomic<int64_t> last_step_ms_{0};
  std::atomic<int64_t> busy_start_ms_{0};
  std::atomic<int64_t> last_busy_length_ms_{0};
  std::atomic<bool> busy_{false};
};
