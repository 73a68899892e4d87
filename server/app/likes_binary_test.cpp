// Likes across runs of the real server binary: a clean stop keeps every like, a renamed
// picture keeps its place, and a killed server leaves a whole hash list file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/hash_list.h"
#include "server/catalogue/like_table.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

// A gallery of two pictures served in console mode with its own hash list file, started and
// stopped as often as a test likes.
class LikesAcrossRuns : public testing::Test {
 protected:
  LikesAcrossRuns() {
    std::filesystem::create_directories(folder_.Path("pictures"));
    std::filesystem::create_directories(folder_.Path("units"));
    folder_.Write("pictures/a.jpg", "the content of a");
    folder_.Write("pictures/b.jpg", "the content of b, longer");
    config_ =
        folder_.Write("gallery.con", GalleryConfig(folder_.Path("pictures"), 0) +
                                         "<HASH_FILE_NAME>" + HashFile() + "</HASH_FILE_NAME>\r\n");
  }

  std::string HashFile() const { return folder_.Path("hash.dat"); }

  // Starts the server and waits until its first scan has listed both pictures.
  void Start() {
    server_.reset();
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{LUMENVALE_BINARY, config_},
                                             ConsoleEnvironment(folder_.Path("units")));
    const std::string banner = server_->ReadLine();
    port_ = BannerPort(banner);
    ASSERT_NE(port_, 0) << banner;
    ASSERT_TRUE(WaitFor("/image?page=1-N-1"));
  }

  // Polls `target` until it answers 200.
  bool WaitFor(const std::string& target) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Get(target).starts_with("HTTP/1.1 200 OK\r\n")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string Get(const std::string& target) {
    return Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  }

  // The viewNum of a successful vote, -1 for any other answer.
  int Vote(const std::string& key) {
    std::smatch match;
    const std::string response =
        Exchange(port_, "GET /vote?page=" + key +
                            " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Requested-With: XMLHttpRequest\r\n\r\n");
    if (!std::regex_search(response, match, std::regex("\"viewNum\":\"(\\d+)\""))) return -1;
    return std::stoi(match[1]);
  }

  // What the hash list file holds now.
  HashList SavedLikes() const {
    HashList list;
    ParseHashList(folder_.Read("hash.dat"), &list);
    return list;
  }

  std::string Hash(const std::string& name) const {
    TestFileAccess access;
    return FileContentHash(access.files, folder_.Path("pictures/" + name));
  }

  TestFolder folder_;
  std::string config_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
};

TEST_F(LikesAcrossRuns, ACleanStopKeepsEveryLikeAndARenamedFileKeepsItsPlace) {
  Start();
  EXPECT_EQ(Vote("1-N-1"), 0);  // b.jpg
  EXPECT_EQ(Vote("1-N-0"), 0);  // a.jpg
  EXPECT_EQ(Vote("1-N-0"), 1);
  EXPECT_EQ(Vote("1-N-0"), 2);
  // At once, long before the throttled save would come.
  EXPECT_EQ(server_->Wait(SIGTERM), 0);
  EXPECT_EQ(SavedLikes().GetCount(Hash("a.jpg")), 2);
  EXPECT_EQ(SavedLikes().GetCount(Hash("b.jpg")), 0);

  std::filesystem::rename(folder_.Path("pictures/a.jpg"), folder_.Path("pictures/z.jpg"));
  Start();
  // The Likes order finds a's content under its new name, most liked first.
  ASSERT_TRUE(WaitFor("/image?page=1-F-1"));
  const std::string first = Get("/image?page=1-F-0");
  EXPECT_EQ(first.substr(first.find("\r\n\r\n") + 4), "the content of a");
  EXPECT_EQ(Vote("1-F-0"), 3);
  EXPECT_EQ(Vote("1-F-1"), 1);
  EXPECT_EQ(server_->Wait(SIGTERM), 0);
}

// The server is killed while votes arrive and saves happen. The file must parse whole after
// every kill, keep the records it was given, and hold every like answered more than a save
// interval and a second and a half before the kill (saves come at most an interval apart,
// and the first like is saved at once).
TEST_F(LikesAcrossRuns, AKilledServerLeavesAWholeFileWithTheLikesItAnswered) {
  // Other contents' records make each save write a few megabytes, so kills land in saves.
  HashList others;
  char hash[33];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(hash, sizeof hash, "%032x", i);
    others.Insert(hash, LikeRecord{i, 1});
  }
  ASSERT_TRUE(SaveHashList(HashFile(), others));

  std::mt19937 random(std::random_device{}());
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    Start();
    const auto kill_at =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(LikeTable::kSaveIntervalMs + 2100 + random() % 500);
    std::vector<std::pair<std::chrono::steady_clock::time_point, int>> answers;
    while (std::chrono::steady_clock::now() < kill_at) {
      const int count = Vote("1-N-0");
      ASSERT_GE(count, 0);
      answers.emplace_back(std::chrono::steady_clock::now(), count);
    }
    server_.reset();  // SIGKILL
    const auto killed = std::chrono::steady_clock::now();
    int settled = -1;
    for (const auto& [when, count] : answers) {
      if (when < killed - std::chrono::milliseconds(LikeTable::kSaveIntervalMs + 1500)) {
        settled = std::max(settled, count);
      }
    }

    ASSERT_TRUE(folder_.Read("hash.dat").ends_with("</HASH_INFO>\r\n"));
    const HashList saved = SavedLikes();
    EXPECT_EQ(saved.size(), others.size() + 1);
    EXPECT_GE(saved.GetCount(Hash("a.jpg")), settled);
    EXPECT_EQ(saved.GetCount("00000000000000000000000000004e1f"), 19999);
  }
}

}  // namespace
