#include "platform/local_time.h"

#include <time.h>

namespace platform {

LocalTime LocalTimeNow() {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace platform
