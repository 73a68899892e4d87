#include "server/pages/http_date.h"

#include <chrono>
#include <cstdio>

std::string FormatHttpDate(int64_t seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  using namespace std::chrono;
  sys_seconds time{std::chrono::seconds(seconds)};
  sys_days day = floor<days>(time);
  year_month_day date{day};
  hh_mm_ss clock{time - day};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02u %s %d %02d:%02d:%02d GMT",
                kDays[weekday(day).c_encoding()], static_cast<unsigned>(date.day()),
                kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}
