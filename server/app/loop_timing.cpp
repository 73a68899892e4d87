#include "server/app/loop_timing.h"

void LoopTiming::RecordStep(int64_t start_ms, int64_t end_ms, bool busy) {
  last_step_ms_.store(end_ms - start_ms);
  bool was_busy = busy_.exchange(busy);
  if (busy && !was_busy) busy_start_ms_.store(start_ms);
  if (!busy && was_busy) last_busy_length_ms_.store(start_ms - busy_start_ms_.load());
}
