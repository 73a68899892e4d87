#include "server/pictures/thumbnail_prefetch.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sched.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "server/catalogue/list_positions.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/testing/test_pictures.h"

namespace fs = std::filesystem;

namespace {

// The work ahead over `pictures` with a thumbnail store of its own in `cache`.
struct AheadRig {
  AheadRig(COmniFileAccess& files, const std::string& cache,
           const std::vector<ImageEntry>& pictures, int threads = 2,
           uint64_t disk_bytes = ThumbnailStore::kDiskBytes)
      : pool(threads),
        store(files, cache, ThumbnailStore::kMemoryBytes, disk_bytes),
        prefetch(lists, &pool, &store) {
    lists.BuildOrders(pictures);
  }
  OrderedLists lists;
  MySystem::CThreadMgr pool;
  ThumbnailStore store;
  ThumbnailPrefetch prefetch;
};

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
      entry.path = SharedPath(folder_ + "/" + prefix + std::to_string(i) + ".jpg");
      std::ofstream(entry.path.c_str(), std::ios::binary)
          .write(reinterpret_cast<const char*>(jpeg.data()),
                 static_cast<std::streamsize>(jpeg.size()));
      list.push_back(entry);
    }
    PositionList(&list, false);
    return list;
  }

  // Runs the loop's turns until every picture of the current list (`count`) has been looked
  // at: the first pages of each order, then the name order.
  void RunUntilDone(ThumbnailPrefetch* prefetch, uint32_t count, MySystem::CThreadMgr* pool) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    prefetch->Update();
    while ((prefetch->Done() < prefetch->Total() || prefetch->ActiveJobs() > 0) &&
           std::chrono::steady_clock::now() < deadline) {
      prefetch->Update();
      EXPECT_LE(prefetch->ActiveJobs(), pool->ThreadCount());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(prefetch->Done(), prefetch->Total());
    ASSERT_GE(prefetch->Total(), count);
  }

  std::string folder_;
  TestFileAccess access_;
};

TEST_F(ThumbnailPrefetchTest, ReducesEveryPictureOfTheListOnce) {
  const std::vector<ImageEntry> list = Pictures("a", 12, 400);
  AheadRig rig(access_.files, folder_ + "/cache", list);
  auto& [lists, pool, store, prefetch] = rig;
  // The loop is to come back soon while there is work ahead, and may rest once it is done.
  prefetch.Update();
  EXPECT_TRUE(prefetch.Working());
  RunUntilDone(&prefetch, 12, &pool);
  EXPECT_FALSE(prefetch.Working());
  for (const ImageEntry& entry : list) {
    EXPECT_TRUE(store.Has(std::string(entry.path), "image/jpeg", kThumbnail));
  }
  EXPECT_EQ(store.Reductions(), 12u);
  // Every picture is on the first page of every order, and counted once.
  EXPECT_EQ(prefetch.Total(), 12u);
  // Unchanged list: nothing more to do.
  for (int turn = 0; turn < 20; ++turn) prefetch.Update();
  EXPECT_EQ(store.Reductions(), 12u);
}

TEST_F(ThumbnailPrefetchTest, NewListStopsTheOldWorkAndIsTakenUp) {
  const std::vector<ImageEntry> old_list = Pictures("old", 30, 1200);
  AheadRig rig(access_.files, folder_ + "/cache", old_list, /*threads=*/1);
  auto& [lists, pool, store, prefetch] = rig;
  prefetch.Update();
  const std::vector<ImageEntry> new_list = Pictures("new", 5, 300);
  lists.BuildOrders(new_list);
  RunUntilDone(&prefetch, 5, &pool);
  for (const ImageEntry& entry : new_list)
    EXPECT_TRUE(store.Has(std::string(entry.path), "image/jpeg", kThumbnail));
  int old_made = 0;
  for (const ImageEntry& entry : old_list)
    old_made += store.Has(std::string(entry.path), "image/jpeg", kThumbnail);
  EXPECT_LT(old_made, 30);
  EXPECT_EQ(store.Reductions(), 5u + old_made);
}

TEST_F(ThumbnailPrefetchTest, NoWorkAheadWhenThumbnailsCannotBeKeptOnDisk) {
  const std::vector<ImageEntry> list = Pictures("a", 6, 300);
  std::ofstream(folder_ + "/file").put('x');
  // No folder at all, and a folder that cannot be made (under a file): not even one
  // reduction runs ahead before the store finds out.
  for (const std::string& cache : {std::string(), folder_ + "/file/cache"}) {
    AheadRig rig(access_.files, cache, list, /*threads=*/1);
    auto& [lists, pool, store, prefetch] = rig;
    for (int turn = 0; turn < 50 && (turn == 0 || prefetch.ActiveJobs() > 0); ++turn) {
      prefetch.Update();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(store.Reductions(), 0u) << cache;
    EXPECT_FALSE(prefetch.Working()) << cache;
  }
}

// While requests come no picture is started; once none has come for kQuietMs the work goes on.
TEST_F(ThumbnailPrefetchTest, WaitsWhileRequestsCome) {
  AheadRig rig(access_.files, folder_ + "/cache", Pictures("a", 4, 300));
  auto& [lists, pool, store, prefetch] = rig;
  const auto quiet_time = std::chrono::milliseconds(ThumbnailPrefetch::kQuietMs);
  auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < 2 * quiet_time) {
    prefetch.Update(/*serving=*/true);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(store.Reductions(), 0u);
  EXPECT_EQ(prefetch.ActiveJobs(), 0);
  start = std::chrono::steady_clock::now();
  while (prefetch.ActiveJobs() == 0 && store.Reductions() == 0 &&
         std::chrono::steady_clock::now() - start < 10 * quiet_time) {
    prefetch.Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The work ahead counts in whole milliseconds of the tick clock: its kQuietMs may end up
  // to one millisecond before as many have passed on the steady clock.
  EXPECT_GE(std::chrono::steady_clock::now() - start, quiet_time - std::chrono::milliseconds(1));
  RunUntilDone(&prefetch, 4, &pool);
  EXPECT_EQ(store.Reductions(), 4u);
}

// The scheduling policy of thread `tid` of this process, from /proc.
int PolicyOf(const std::string& tid) {
  std::ifstream stat("/proc/self/task/" + tid + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The fields after the name in parentheses; policy is field 41, the 39th after it.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  for (int i = 0; i < 39 && fields >> field;) ++i;
  return std::stoi(field);
}

TEST_F(ThumbnailPrefetchTest, RunsAtIdlePriorityAndTheRequestWorkersDoNot) {
  AheadRig rig(access_.files, folder_ + "/cache", Pictures("a", 8, 2400));
  auto& [lists, pool, store, prefetch] = rig;
  // The threads' policies, looked at while the reductions run.
  int most_idle = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  prefetch.Update();
  while ((prefetch.Done() < prefetch.Total() || prefetch.ActiveJobs() > 0) &&
         std::chrono::steady_clock::now() < deadline) {
    prefetch.Update();
    int idle = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
      idle += PolicyOf(task.path().filename()) == SCHED_IDLE;
    }
    most_idle = std::max(most_idle, idle);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(most_idle, 1);
  EXPECT_LE(most_idle, pool.ThreadCount());
  // A request job runs at the normal policy.
  struct Probe : CThreadCommand {
    std::atomic<int>* policy;
    int Run() override {
      *policy = PolicyOf(std::to_string(gettid()));
      return 0;
    }
  };
  std::atomic<int> policy{-1};
  for (int i = 0; i < 4; ++i) {
    auto probe = std::make_unique<Probe>();
    probe->policy = &policy;
    pool.Post(std::move(probe), 0);
  }
  pool.Stop();
  EXPECT_EQ(policy.load(), SCHED_OTHER);
}

TEST_F(ThumbnailPrefetchTest, StopsWhenTheFolderIsFull) {
  const std::vector<ImageEntry> list = Pictures("a", 40, 600);
  // Room for a few of the thumbnails only.
  ReducedPicture one;
  {
    ThumbnailStore probe(access_.files, "", ThumbnailStore::kMemoryBytes, 0);
    ASSERT_TRUE(probe.Find(std::string(list[0].path), "image/jpeg", kThumbnail, &one));
  }
  const uint64_t bound = one.bytes->size() * 10;
  AheadRig rig(access_.files, folder_ + "/cache", list, /*threads=*/2, bound);
  auto& [lists, pool, store, prefetch] = rig;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!(prefetch.ActiveJobs() == 0 && !store.HasRoomAhead()) &&
         std::chrono::steady_clock::now() < deadline) {
    prefetch.Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const uint64_t made = store.Reductions();
  // Full: no more turns are taken.
  for (int turn = 0; turn < 50; ++turn) {
    prefetch.Update();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(store.Reductions(), made);
  EXPECT_LT(prefetch.Done(), prefetch.Total());
  EXPECT_FALSE(prefetch.Working());
  EXPECT_GE(made, 3u);
  EXPECT_LT(made, 12u);
  EXPECT_LE(store.DiskBytes(), bound);
  // Nothing was pushed out: every thumbnail kept is still in the folder. A reduction that
  // was under way when the folder filled up (one a worker at most) is not kept.
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_ + "/cache")) ++files;
  EXPECT_LE(files, made);
  EXPECT_LE(made - files, static_cast<uint64_t>(pool.ThreadCount()));
  // Requests still get theirs.
  ReducedPicture asked;
  EXPECT_TRUE(store.Find(std::string(list[39].path), "image/jpeg", kThumbnail, &asked));
}

// A picture over the size read ahead is left to its requests; the others are reduced.
TEST_F(ThumbnailPrefetchTest, LargePicturesAreNotReadAhead) {
  std::vector<ImageEntry> list = Pictures("a", 3, 200);
  list[1].size = static_cast<uint32_t>(ThumbnailPrefetch::kLargestPictureAhead + 1);
  AheadRig rig(access_.files, folder_ + "/cache", list);
  auto& [lists, pool, store, prefetch] = rig;
  RunUntilDone(&prefetch, 3, &pool);
  EXPECT_EQ(store.Reductions(), 2u);
  EXPECT_FALSE(store.Has(std::string(list[1].path), "image/jpeg", kThumbnail));
}

}  // namespace
