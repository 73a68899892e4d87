#include "server/pages/http_date.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpDateTest, FormatsUtcCalendarTime) {
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
}

}  // namespace
