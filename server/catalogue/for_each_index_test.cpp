#include "server/catalogue/for_each_index.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/testing/test_latch.h"

namespace {

TEST(ForEachIndexTest, RunsEveryIndexOnceOnSeveralThreads) {
  MySystem::CThreadMgr pool(3);
  std::vector<std::atomic<int>> runs(2000);
  std::mutex lock;
  std::set<std::thread::id> threads;
  ForEachIndex(&pool, 0, runs.size(), [&](size_t i) {
    ++runs[i];
    // Long enough in all that the helpers surely get their turns.
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    std::lock_guard<std::mutex> hold(lock);
    threads.insert(std::this_thread::get_id());
  });
  for (size_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i], 1) << i;
  EXPECT_GT(threads.size(), 1u);
  ForEachIndex(&pool, 0, 0, [](size_t) { FAIL(); });
}

TEST(ForEachIndexTest, ABusyPoolDelaysNothing) {
  MySystem::CThreadMgr pool(2);
  auto gate = std::make_shared<TestLatch>(1);
  struct Block : CThreadCommand {
    std::shared_ptr<TestLatch> gate;
    int Run() override {
      gate->wait();
      return 0;
    }
  };
  for (int i = 0; i < 2; ++i) {
    auto job = std::make_unique<Block>();
    job->gate = gate;
    pool.Post(std::move(job), 0);
  }
  // Both workers are held: the calling thread does all the work, and returns.
  std::atomic<int> done{0};
  ForEachIndex(&pool, 0, 1000, [&](size_t) { ++done; });
  EXPECT_EQ(done, 1000);
  gate->count_down();
}

}  // namespace
