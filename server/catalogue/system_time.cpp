#include "server/catalogue/system_time.h"

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a proleptic Gregorian date; months outside 1-12 are carried into
// the year, so every input gives some day.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  const int64_t carried_years = FloorDiv(month - 1, 12);
  year += carried_years;
  month -= 12 * carried_years;
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = year_of_era + era * 400 + (*month <= 2);
}

// 1970-01-01 was a Thursday.
uint16_t DayOfWeek(int64_t days) {
  int64_t weekday = (days + 4) % 7;
  return static_cast<uint16_t>(weekday < 0 ? weekday + 7 : weekday);
}

}  // namespace

SystemTime SystemTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t second_of_day = seconds - days * 86400;
  int64_t year = 0;
  int64_t month = 0;
  int64_t day = 0;
  CivilFromDays(days, &year, &month, &day);
  SystemTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day_of_week = DayOfWeek(days);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(second_of_day / 3600);
  t.minute = static_cast<uint16_t>(second_of_day / 60 % 60);
  t.second = static_cast<uint16_t>(second_of_day % 60);
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
  t.day_of_week = DayOfWeek(DaysFromCivil(t.year, t.month, t.day));
  return t;
}
