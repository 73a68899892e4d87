#include "server/pages/fast_read_for_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/read_budget.h"
#include "server/pages/image_direct_process.h"

namespace {

TEST(FastReadForCacheTest, LeavesTheFileInTheCache) {
  TestFolder folder;
  const std::string path = folder.Write("a.jpg", "not really a picture");
  COmniFileAccess& files = COmniFileAccess::Instance();
  ASSERT_FALSE(files.IsCached(path));

  CFastReadForCache job(path);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_TRUE(files.IsCached(path));

  // The cached copy is what a later cached read serves.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.ReadAll(1, path, &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "not really a picture");
}

TEST(FastReadForCacheTest, AMissingFileIsNoFailure) {
  TestFolder folder;
  const std::string path = folder.Path("gone.jpg");
  CFastReadForCache job(path);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_FALSE(COmniFileAccess::Instance().IsCached(path));
}

TEST(FastReadForCacheTest, SkipsLargeCachedAndBeingReadFiles) {
  TestFolder folder;
  COmniFileAccess& files = COmniFileAccess::Instance();
  const std::string large = folder.Write("large.jpg", std::string(kPreReadMaxBytes + 1, 'x'));
  const std::string limit = folder.Write("limit.jpg", std::string(kPreReadMaxBytes, 'x'));
  const std::string small = folder.Write("small.jpg", "small");
  EXPECT_FALSE(WorthPreReading(large));
  EXPECT_FALSE(WorthPreReading(folder.Path("missing.jpg")));
  EXPECT_TRUE(WorthPreReading(limit));
  EXPECT_TRUE(WorthPreReading(small));

  CFastReadForCache(large).Run();
  EXPECT_FALSE(files.IsCached(large));
  CFastReadForCache(small).Run();
  EXPECT_TRUE(files.IsCached(small));
  EXPECT_FALSE(WorthPreReading(small));  // cached as it is now
  folder.Write("small.jpg", "changed");
  EXPECT_TRUE(WorthPreReading(small));  // the cached copy is out of date

  // While a request reads the file, a read ahead would only be a second copy.
  ReadBudget& budget = ReadBudget::Instance();
  ASSERT_TRUE(budget.Acquire(ReadBudget::kReadBytesInFlight));
  std::thread request([&] {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    files.ReadShared(small, &bytes);
  });
  for (int i = 0; i < 2000 && files.ReadersOf(small) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(WorthPreReading(small));
  budget.Release(ReadBudget::kReadBytesInFlight);
  request.join();
}

TEST(FastReadForCacheTest, APictureSentFromItsFileIsLeftToThePageCache) {
  TestFolder folder;
  const std::string path = folder.Write("big.jpg", std::string(kSendFromFileBytes, 'x'));
  ASSERT_TRUE(WorthPreReading(path));
  CFastReadForCache(path).Run();
  EXPECT_FALSE(COmniFileAccess::Instance().IsCached(path));
}

TEST(FastReadForCacheTest, RunsOnThePool) {
  TestFolder folder;
  const std::string path = folder.Write("b.png", "bytes");
  {
    MySystem::CThreadMgr pool(1);
    pool.Post(std::make_unique<CFastReadForCache>(path), 0);
  }  // the pool finishes its queue before it is destroyed
  EXPECT_TRUE(COmniFileAccess::Instance().IsCached(path));
}

}  // namespace
