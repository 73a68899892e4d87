// A calendar time broken into fields, as the file access layer reports a file's last write.
#pragma once

#include <cstdint>

struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;        // 1 = January
  uint16_t day_of_week = 0;  // 0 = Sunday
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;

  bool operator==(const SystemTime&) const = default;
};

// A time in seconds and nanoseconds since 1970-01-01 UTC, as UTC fields.
SystemTime SystemTimeFromUnix(int64_t seconds, int64_t nanoseconds);

// A ZIP member's DOS date and time: year 1980 + bits 15-9, month bits 8-5, day bits 4-0;
// hour bits 15-11, minute bits 10-5, second 2 x bits 4-0. Fields are taken as they are, even
// out of range; the day of the week is computed from the date.
SystemTime SystemTimeFromDos(uint16_t dos_date, uint16_t dos_time);
