#include "server/net/failure_throttle.h"

#include <gtest/gtest.h>

namespace {

TEST(FailureThrottleTest, LocksOutAfterTheLimitWithinTheWindow) {
  FailureThrottle throttle(3, 1000, 500, 10);
  throttle.RecordFailure("a", 0);
  throttle.RecordFailure("a", 100);
  EXPECT_FALSE(throttle.Refused("a", 100));
  throttle.RecordFailure("a", 200);
  EXPECT_TRUE(throttle.Refused("a", 200));
  EXPECT_TRUE(throttle.Refused("a", 699));
  EXPECT_FALSE(throttle.Refused("b", 300));
  EXPECT_FALSE(throttle.Refused("a", 700));
  // Failures spread wider than the window never add up.
  for (int64_t t = 1000; t < 10000; t += 600) throttle.RecordFailure("b", t);
  EXPECT_FALSE(throttle.Refused("b", 10000));
}

TEST(FailureThrottleTest, TableStaysBounded) {
  FailureThrottle throttle(2, 1000, 500, 2);
  throttle.RecordFailure("a", 0);
  throttle.RecordFailure("b", 1);
  throttle.RecordFailure("c", 2);  // `a` is forgotten
  throttle.RecordFailure("a", 3);
  EXPECT_FALSE(throttle.Refused("a", 3));
  throttle.RecordFailure("a", 4);
  EXPECT_TRUE(throttle.Refused("a", 4));
}

}  // namespace
