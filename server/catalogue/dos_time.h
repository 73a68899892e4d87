// File times as the catalogue keeps them: 100-nanosecond units since 1970-01-01 UTC.
#pragma once

#include <cstdint>

constexpr int64_t kTimeUnitsPerSecond = 10'000'000;

// A ZIP member's DOS date and time, taken as UTC. Fields out of range (month 0, day 0) are
// carried through the arithmetic rather than rejected, so every record has some time.
int64_t DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time);

// A file's modification time from its seconds and nanoseconds.
inline int64_t FileTimeToTime(int64_t sec, int64_t nsec) {
  return sec * kTimeUnitsPerSecond + nsec / 100;
}
