#include "server/pages/fast_read_for_cache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/test_folder.h"
#include "server/catalogue/omni_file_access.h"

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

TEST(FastReadForCacheTest, RunsOnThePool) {
  TestFolder folder;
  const std::string path = folder.Write("b.png", "bytes");
  {
    MySystem::CThreadMgr pool(1);
    pool.Post(new CFastReadForCache(path), 0, nullptr, 0);
  }  // the pool finishes its queue before it is destroyed
  EXPECT_TRUE(COmniFileAccess::Instance().IsCached(path));
}

}  // namespace
