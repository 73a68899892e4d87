// Calendar time in one place: the broken-down form the file access layer reports, the times the
// catalogue sorts by, ZIP members' DOS dates, and the texts written from them (HTTP dates, local
// time stamps).
#pragma once

#include <cstdint>
#include <string>

#include "platform/local_time.h"

// The catalogue's time unit: 100 nanoseconds since 1970-01-01 UTC.
constexpr int64_t kTimeUnitsPerSecond = 10'000'000;

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
// out of range; the day of the week is that of the date with its month carried into the year
// and its day counted on from the month's first (month 0 is the December before).
SystemTime SystemTimeFromDos(uint16_t dos_date, uint16_t dos_time);

// The same DOS date and time in the catalogue's unit, taken as UTC, out-of-range fields carried
// as above, so every record has some time.
int64_t DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time);

// A file's modification time from its seconds and nanoseconds, in the catalogue's unit.
inline int64_t FileTimeToTime(int64_t sec, int64_t nsec) {
  return sec * kTimeUnitsPerSecond + nsec / 100;
}

// The date form of Last-Modified (and of the If-Modified-Since a browser sends back), for
// example "Wed, 07 Feb 2024 09:05:03 GMT".
std::string FormatHttpDate(const SystemTime& time);
std::string FormatHttpDate(int64_t unix_seconds);

// "2024/02/07 09:05:03": a local time for people to read.
std::string LocalTimeText(const platform::LocalTime& time);
// "20240207090503": a local time stamp in one word.
std::string LocalTimeStamp(const platform::LocalTime& time);
