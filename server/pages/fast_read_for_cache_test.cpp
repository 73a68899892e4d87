#include "server/pages/fast_read_for_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/pages/image_direct_process.h"

namespace {

TEST(FastReadForCacheTest, LeavesTheFileInTheCache) {
  TestFolder folder;
  const std::string path = folder.Write("a.jpg", "not really a picture");
  TestFileAccess access;
  COmniFileAccess& files = access.files;
  ASSERT_FALSE(files.IsCached(path));

  CFastReadForCache job(access.files, path);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_TRUE(files.IsCached(path));

  // The cached copy is what a later cached read serves.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.ReadAll(1, path, &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "not really a picture");
}

TEST(FastReadForCacheTest, AMissingFileIsNoFailure) {
  TestFolder folder;
  TestFileAccess access;
  const std::string path = folder.Path("gone.jpg");
  CFastReadForCache job(access.files, path);
  EXPECT_EQ(job.Run(), 0);
  EXPECT_FALSE(access.files.IsCached(path));
}

TEST(FastReadForCacheTest, SkipsLargeCachedAndBeingReadFiles) {
  TestFolder folder;
  TestFileAccess access;
  COmniFileAccess& files = access.files;
  const std::string large = folder.Write("large.jpg", std::string(kPreReadMaxBytes + 1, 'x'));
  const std::string limit = folder.Write("limit.jpg", std::string(kPreReadMaxBytes, 'x'));
  const std::string small = folder.Write("small.jpg", "small");
  EXPECT_FALSE(WorthPreReading(access.files, large));
  EXPECT_FALSE(WorthPreReading(access.files, folder.Path("missing.jpg")));
  EXPECT_TRUE(WorthPreReading(access.files, limit));
  EXPECT_TRUE(WorthPreReading(access.files, small));

  CFastReadForCache(access.files, large).Run();
  EXPECT_FALSE(files.IsCached(large));
  CFastReadForCache(access.files, small).Run();
  EXPECT_TRUE(files.IsCached(small));
  EXPECT_FALSE(WorthPreReading(access.files, small));  // cached as it is now
  folder.Write("small.jpg", "changed");
  EXPECT_TRUE(WorthPreReading(access.files, small));  // the cached copy is out of date

  // While a request reads the file, a read ahead would only be a second copy.
  ReadBudget& budget = access.budget;
  ASSERT_TRUE(budget.Acquire(ReadBudget::kReadBytesInFlight));
  std::thread request([&] {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    files.ReadShared(small, &bytes);
  });
  for (int i = 0; i < 2000 && files.ReadersOf(small) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(WorthPreReading(access.files, small));
  budget.Release(ReadBudget::kReadBytesInFlight);
  request.join();
}

TEST(FastReadForCacheTest, APictureSentFromItsFileIsLeftToThePageCache) {
  TestFolder folder;
  TestFileAccess access;
  const std::string path = folder.Write("big.jpg", std::string(kSendFromFileBytes, 'x'));
  ASSERT_TRUE(WorthPreReading(access.files, path));
  CFastReadForCache(access.files, path).Run();
  EXPECT_FALSE(access.files.IsCached(path));
}

TEST(FastReadForCacheTest, RunsOnThePool) {
  TestFolder folder;
  TestFileAccess access;
  const std::string path = folder.Write("b.png", "bytes");
  {
    MySystem::CThreadMgr pool(1);
    pool.Post(std::make_unique<CFastReadForCache>(access.files, path), 0);
  }  // the pool finishes its queue before it is destroyed
  EXPECT_TRUE(access.files.IsCached(path));
}

}  // namespace
