#include "server/catalogue/dos_time.h"

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

int64_t DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time) {
  const int64_t year = 1980 + (dos_date >> 9);
  const int64_t month = (dos_date >> 5) & 0x0F;
  const int64_t day = dos_date & 0x1F;
  const int64_t hour = dos_time >> 11;
  const int64_t minute = (dos_time >> 5) & 0x3F;
  const int64_t second = 2 * (dos_time & 0x1F);
  const int64_t days = DaysFromCivil(year, month, day);
  return ((days * 24 + hour) * 60 + minute) * 60 * kTimeUnitsPerSecond +
         second * kTimeUnitsPerSecond;
}
