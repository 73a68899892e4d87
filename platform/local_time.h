// The wall clock in the machine's local time zone, for texts shown to people.
#pragma once

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 = January
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

LocalTime LocalTimeNow();

}  // namespace platform
