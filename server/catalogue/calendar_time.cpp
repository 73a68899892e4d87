#include "server/catalogue/calendar_time.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace {

using std::chrono::days;
using std::chrono::sys_days;

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The day a DOS date names: months outside 1-12 carry into the year, and the day counts on
// from the month's first, so day 0 is the last day of the month before.
sys_days CarriedDate(int year, int month, int day) {
  const std::chrono::year_month first_month =
      std::chrono::year{year} / std::chrono::January + std::chrono::months{month - 1};
  return sys_days{first_month / 1} + days{day - 1};
}

uint16_t DayOfWeek(sys_days day) {
  return static_cast<uint16_t>(std::chrono::weekday{day}.c_encoding());
}

}  // namespace

SystemTime SystemTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  const std::chrono::sys_seconds time{std::chrono::seconds{seconds}};
  const sys_days day = std::chrono::floor<days>(time);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{time - day};
  SystemTime t;
  t.year = static_cast<uint16_t>(static_cast<int>(date.year()));
  t.month = static_cast<uint16_t>(static_cast<unsigned>(date.month()));
  t.day_of_week = DayOfWeek(day);
  t.day = static_cast<uint16_t>(static_cast<unsigned>(date.day()));
  t.hour = static_cast<uint16_t>(clock.hours().count());
  t.minute = static_cast<uint16_t>(clock.minutes().count());
  t.second = static_cast<uint16_t>(clock.seconds().count());
  t.milliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return t;
}

SystemTime SystemTimeFromDos(uint16_t dos_date, uint16_t dos_time) {
  SystemTime t;
  t.year = static_cast<uint16_t>(1980 + (dos_date >> 9));
  t.month = (dos_date >> 5) & 0x0F;
  t.day = dos_date & 0x1F;
  t.hour = dos_time >> 11;
  t.minute = (dos_time >> 5) & 0x3F;
  t.second = static_cast<uint16_t>(2 * (dos_time & 0x1F));
  t.milliseconds = 0;
  t.day_of_week = DayOfWeek(CarriedDate(t.year, t.month, t.day));
  return t;
}

int64_t DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time) {
  const SystemTime t = SystemTimeFromDos(dos_date, dos_time);
  const int64_t day = CarriedDate(t.year, t.month, t.day).time_since_epoch().count();
  return (((day * 24 + t.hour) * 60 + t.minute) * 60 + t.second) * kTimeUnitsPerSecond;
}

std::string FormatHttpDate(const SystemTime& t) {
  // Written without printf: every /image answer carries one.
  std::string text;
  text.reserve(32);
  // As "%02d" writes a number.
  auto number = [&text](unsigned value, bool two_digits) {
    char digits[8];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    if (two_digits && end - digits < 2) text.push_back('0');
    text.append(digits, end);
  };
  text.append(kDays[t.day_of_week % 7]).append(", ");
  number(t.day, true);
  text.append(" ").append(kMonths[(t.month + 11) % 12]).append(" ");
  number(t.year, false);
  text.push_back(' ');
  number(t.hour, true);
  text.push_back(':');
  number(t.minute, true);
  text.push_back(':');
  number(t.second, true);
  text.append(" GMT");
  return text;
}

std::string FormatHttpDate(int64_t unix_seconds) {
  return FormatHttpDate(SystemTimeFromUnix(unix_seconds, 0));
}

std::string LocalTimeText(const platform::LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string LocalTimeStamp(const platform::LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}
