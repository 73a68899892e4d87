#include "server/catalogue/system_time.h"

#include <gtest/gtest.h>

namespace {

SystemTime Fields(int year, int month, int day_of_week, int day, int hour, int minute, int second,
                  int milliseconds) {
  SystemTime t;
  t.year = year;
  t.month = month;
  t.day_of_week = day_of_week;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.milliseconds = milliseconds;
  return t;
}

TEST(SystemTimeTest, FromUnix) {
  struct Case {
    int64_t seconds;
    int64_t nanoseconds;
    SystemTime expected;
  };
  const Case cases[] = {
      {0, 0, Fields(1970, 1, 4, 1, 0, 0, 0, 0)},
      {-1, 999999999, Fields(1969, 12, 3, 31, 23, 59, 59, 999)},
      {951782400, 0, Fields(2000, 2, 2, 29, 0, 0, 0, 0)},  // a leap day
      {1614834367, 890123456, Fields(2021, 3, 4, 4, 5, 6, 7, 890)},
      {4102444799, 0, Fields(2099, 12, 4, 31, 23, 59, 59, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(SystemTimeFromUnix(c.seconds, c.nanoseconds), c.expected);
  }
}

TEST(SystemTimeTest, FromDos) {
  struct Case {
    uint16_t date;
    uint16_t time;
    SystemTime expected;
  };
  auto date = [](int y, int m, int d) {
    return static_cast<uint16_t>((y - 1980) << 9 | m << 5 | d);
  };
  auto time = [](int h, int m, int s) { return static_cast<uint16_t>(h << 11 | m << 5 | s / 2); };
  const Case cases[] = {
      {date(1980, 1, 1), time(0, 0, 0), Fields(1980, 1, 2, 1, 0, 0, 0, 0)},
      {date(2021, 3, 4), time(5, 6, 8), Fields(2021, 3, 4, 4, 5, 6, 8, 0)},
      {date(2024, 2, 29), time(23, 59, 58), Fields(2024, 2, 4, 29, 23, 59, 58, 0)},
      {date(2107, 12, 31), time(0, 0, 0), Fields(2107, 12, 6, 31, 0, 0, 0, 0)},
      // Fields out of range are kept; the weekday still comes out as some day.
      {0, 0, Fields(1980, 0, 5, 0, 0, 0, 0, 0)},                 // 1979-11-30
      {0xFFFF, 0xFFFF, Fields(2107, 15, 6, 31, 31, 63, 62, 0)},  // 2108-03-31
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.date << " " << c.time);
    SystemTime t = SystemTimeFromDos(c.date, c.time);
    EXPECT_EQ(t, c.expected) << t.year << "-" << t.month << "-" << t.day << " wd " << t.day_of_week;
  }
}

}  // namespace
