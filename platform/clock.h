// Time sources: a monotonic tick count for intervals, the wall clock for time stamps.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock; only differences are meaningful.
int64_t TickCountMs();

// Wall-clock time in 100-nanosecond units since 1970-01-01 UTC.
int64_t SystemTime100ns();

// Tests only.
void SleepMs(int ms);

}  // namespace platform
