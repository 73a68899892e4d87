#include "server/pictures/thumbnail_prefetch.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "server/catalogue/list_positions.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/testing/test_pictures.h"

namespace fs = std::filesystem;

namespace {

class ThumbnailPrefetchTest : public testing::Test {
 protected:
  ThumbnailPrefetchTest() {
    std::string pattern = (fs::temp_directory_path() / "lv_prefetch_XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
  }
  ~ThumbnailPrefetchTest() override { fs::remove_all(folder_); }

  // `count` pictures named prefix0.jpg, prefix1.jpg, ... and the list of them.
  std::vector<ImageEntry> Pictures(const std::string& prefix, int count, int width) {
    const std::vector<uint8_t> jpeg = JpegFile(NoisePicture(width, width * 3 / 4));
    std::vector<ImageEntry> list;
    for (int i = 0; i < count; ++i) {
      ImageEntry entry;
      entry.path = folder_ + "/" + prefix + std::to_string(i) + ".jpg";
      std::ofstream(entry.path, std::ios::binary)
          .write(reinterpret_cast<const char*>(jpeg.data()),
                 static_cast<std::streamsize>(jpeg.size()));
      list.push_back(entry);
    }
    PositionList(&list, false);
    return list;
  }

  // Runs the loop's turns until every picture of the current list has been looked at.
  void RunUntilDone(ThumbnailPrefetch* prefetch, uint32_t count, MySystem::CThreadMgr* pool) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (prefetch->Done() < count && std::chrono::steady_clock::now() < deadline) {
      prefetch->Update();
      EXPECT_LE(prefetch->ActiveJobs(), pool->ThreadCount());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(prefetch->Done(), count);
  }

  std::string folder_;
  TestFileAccess access_;
};

TEST_F(ThumbnailPrefetchTest, ReducesEveryPictureOfTheListOnce) {
  OrderedLists lists;
  const std::vector<ImageEntry> list = Pictures("a", 12, 400);
  lists.BuildOrders(list);
  MySystem::CThreadMgr pool(2);
  ThumbnailStore store(access_.files, folder_ + "/cache", ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  ThumbnailPrefetch prefetch(lists, &pool, &store);
  RunUntilDone(&prefetch, 12, &pool);
  for (const ImageEntry& entry : list) EXPECT_TRUE(store.Has(entry.path, "image/jpeg", kThumbnail));
  EXPECT_EQ(store.Reductions(), 12u);
  // Unchanged list: nothing more to do.
  for (int turn = 0; turn < 20; ++turn) prefetch.Update();
  EXPECT_EQ(store.Reductions(), 12u);
}

TEST_F(ThumbnailPrefetchTest, NewListStopsTheOldWorkAndIsTakenUp) {
  OrderedLists lists;
  const std::vector<ImageEntry> old_list = Pictures("old", 30, 1200);
  lists.BuildOrders(old_list);
  MySystem::CThreadMgr pool(1);
  ThumbnailStore store(access_.files, folder_ + "/cache", ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  ThumbnailPrefetch prefetch(lists, &pool, &store);
  prefetch.Update();
  const std::vector<ImageEntry> new_list = Pictures("new", 5, 300);
  lists.BuildOrders(new_list);
  RunUntilDone(&prefetch, 5, &pool);
  for (const ImageEntry& entry : new_list)
    EXPECT_TRUE(store.Has(entry.path, "image/jpeg", kThumbnail));
  int old_made = 0;
  for (const ImageEntry& entry : old_list)
    old_made += store.Has(entry.path, "image/jpeg", kThumbnail);
  EXPECT_LT(old_made, 30);
  EXPECT_EQ(store.Reductions(), 5u + old_made);
}

TEST_F(ThumbnailPrefetchTest, NoWorkAheadWhenThumbnailsCannotBeKeptOnDisk) {
  OrderedLists lists;
  lists.BuildOrders(Pictures("a", 6, 300));
  std::ofstream(folder_ + "/file").put('x');
  // No folder at all, and a folder that cannot be made (under a file): not even one
  // reduction runs ahead before the store finds out.
  for (const std::string& cache : {std::string(), folder_ + "/file/cache"}) {
    MySystem::CThreadMgr pool(1);
    ThumbnailStore store(access_.files, cache, ThumbnailStore::kMemoryBytes,
                         ThumbnailStore::kDiskBytes);
    ThumbnailPrefetch prefetch(lists, &pool, &store);
    for (int turn = 0; turn < 50 && (turn == 0 || prefetch.ActiveJobs() > 0); ++turn) {
      prefetch.Update();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(store.Reductions(), 0u) << cache;
  }
}

// A picture over the size read ahead is left to its requests; the others are reduced.
TEST_F(ThumbnailPrefetchTest, LargePicturesAreNotReadAhead) {
  OrderedLists lists;
  std::vector<ImageEntry> list = Pictures("a", 3, 200);
  list[1].size = static_cast<uint32_t>(ThumbnailPrefetch::kLargestPictureAhead + 1);
  lists.BuildOrders(list);
  MySystem::CThreadMgr pool(2);
  ThumbnailStore store(access_.files, folder_ + "/cache", ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  ThumbnailPrefetch prefetch(lists, &pool, &store);
  RunUntilDone(&prefetch, 3, &pool);
  EXPECT_EQ(store.Reductions(), 2u);
  EXPECT_FALSE(store.Has(list[1].path, "image/jpeg", kThumbnail));
}

}  // namespace
