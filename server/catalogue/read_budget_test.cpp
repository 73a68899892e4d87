#include "server/catalogue/read_budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/testing/test_eventually.h"

namespace {

using std::chrono::milliseconds;

TEST(ReadBudgetTest, ReadsBeyondTheRoomWaitAndThenFail) {
  ReadBudget budget(100);
  EXPECT_TRUE(budget.Acquire(60, milliseconds(0)));
  EXPECT_FALSE(budget.Acquire(50, milliseconds(20)));
  EXPECT_TRUE(budget.Acquire(40, milliseconds(0)));
  EXPECT_EQ(budget.InUse(), 100u);
  budget.Release(60);
  EXPECT_TRUE(budget.Acquire(50, milliseconds(0)));
  budget.Release(50);
  budget.Release(40);
  EXPECT_EQ(budget.InUse(), 0u);
  EXPECT_EQ(budget.Waiting(), 0);

  // A read larger than the whole budget runs, but only alone.
  EXPECT_TRUE(budget.Acquire(150, milliseconds(0)));
  EXPECT_FALSE(budget.Acquire(1, milliseconds(10)));
  budget.Release(150);
  EXPECT_TRUE(budget.Acquire(10, milliseconds(0)));
  EXPECT_FALSE(budget.Acquire(150, milliseconds(10)));
  budget.Release(10);
}

TEST(ReadBudgetTest, ALargeReadIsNotOvertakenBySmallOnes) {
  ReadBudget budget(100);
  ASSERT_TRUE(budget.Acquire(60, milliseconds(0)));
  std::thread large([&] { EXPECT_TRUE(budget.Acquire(80, milliseconds(5000))); });
  ASSERT_TRUE(Eventually([&] { return budget.Waiting() == 1; }));
  // It would fit beside the 60, but the larger read asked first.
  std::thread small([&] { EXPECT_TRUE(budget.Acquire(10, milliseconds(5000))); });
  ASSERT_TRUE(Eventually([&] { return budget.Waiting() == 2; }));
  EXPECT_EQ(budget.InUse(), 60u);
  budget.Release(60);
  large.join();
  small.join();
  EXPECT_EQ(budget.InUse(), 90u);
}

TEST(ReadBudgetTest, ManyThreadsNeverPassTheLimit) {
  ReadBudget budget(100);
  std::atomic<uint64_t> most{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const uint64_t bytes = 1 + (i * 7 + t * 13) % 60;
        ASSERT_TRUE(budget.Acquire(bytes, milliseconds(5000)));
        const uint64_t now = budget.InUse();
        uint64_t seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        budget.Release(bytes);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_LE(most.load(), 100u);
  EXPECT_GT(most.load(), 0u);
  EXPECT_EQ(budget.InUse(), 0u);
}

}  // namespace
