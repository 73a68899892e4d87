#include "server/catalogue/calendar_time.h"

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

TEST(CalendarTimeTest, DosTimeAgreesWithItsFields) {
  // The catalogue's sort time and the broken-down time of a member name the same instant,
  // out-of-range fields included.
  for (uint16_t date : {uint16_t{0}, uint16_t{0x5284}, uint16_t{0xFFFF}}) {
    for (uint16_t time : {uint16_t{0}, uint16_t{0x28C4}, uint16_t{0xBF7D}}) {
      const int64_t units = DosDateTimeToTime(date, time);
      const SystemTime fields = SystemTimeFromDos(date, time);
      const SystemTime back = SystemTimeFromUnix(units / kTimeUnitsPerSecond, 0);
      EXPECT_EQ(back.day_of_week, fields.day_of_week) << date << " " << time;
      if (fields.month >= 1 && fields.month <= 12 && fields.day >= 1 && fields.hour < 24 &&
          fields.minute < 60 && fields.second < 60) {
        EXPECT_EQ(back, fields) << date << " " << time;
      }
    }
  }
}

TEST(CalendarTimeTest, HttpDates) {
  struct Case {
    int64_t seconds;
    const char* expected;
  } cases[] = {
      {0, "Thu, 01 Jan 1970 00:00:00 GMT"},          {1707296703, "Wed, 07 Feb 2024 09:05:03 GMT"},
      {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},  // leap day of a century leap year
      {1735689599, "Tue, 31 Dec 2024 23:59:59 GMT"}, {1735689600, "Wed, 01 Jan 2025 00:00:00 GMT"},
      {4102444800, "Fri, 01 Jan 2100 00:00:00 GMT"},  // past 2038
      {-1, "Wed, 31 Dec 1969 23:59:59 GMT"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatHttpDate(c.seconds), c.expected) << c.seconds;
  // A member's out-of-range month still names a month.
  EXPECT_EQ(FormatHttpDate(SystemTimeFromDos(0, 0)), "Fri, 00 Dec 1980 00:00:00 GMT");
}

TEST(CalendarTimeTest, LocalTimeTexts) {
  const platform::LocalTime t{2024, 2, 7, 9, 5, 3};
  EXPECT_EQ(LocalTimeText(t), "2024/02/07 09:05:03");
  EXPECT_EQ(LocalTimeStamp(t), "20240207090503");
}

}  // namespace
