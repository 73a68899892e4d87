#include "server/catalogue/like_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/catalogue/testing/test_support.h"

namespace {

using test_support::TempDir;
using test_support::WriteFile;

constexpr int64_t kHalfHourMs = 30 * 60 * 1000;

class LikeTableTest : public testing::Test {
 protected:
  LikeTableTest() {
    WriteFile(Picture("a.jpg"), std::string("apple"));
    WriteFile(Picture("b.jpg"), std::string("banana"));
    WriteFile(Picture("c.jpg"), std::string("cherry"));
  }

  std::string Picture(const std::string& name) const { return dir_.Join("pics/" + name); }
  LikeTable& likes() { return catalogue_->likes(); }

  // A server start: a new catalogue loads `hash_path` and takes its first scan.
  void Start(const std::string& hash_path) {
    catalogue_.reset();
    catalogue_ = std::make_unique<ImageCatalogue>(&pool_, access_.files);
    catalogue_->SetFolders({dir_.Join("pics")});
    catalogue_->SetRecursive(true);
    likes().Load(hash_path);
    Rescan();
  }

  // A scan and the list updates after it, until the catalogue and its like jobs are idle.
  void Rescan() {
    ASSERT_TRUE(catalogue_->Rescan());
    for (int pass = 0; pass < 3; ++pass) {
      catalogue_->WaitForIdle();
      likes().WaitForIdle();
      catalogue_->UpdateList(false);
    }
    catalogue_->WaitForIdle();
    likes().WaitForIdle();
  }

  // One like part of the list update `later_ms` after the last, waited for.
  void UpdateLater(int64_t later_ms) {
    now_ms_ = std::max(now_ms_, platform::TickCountMs()) + later_ms;
    likes().Update(now_ms_, false);
    likes().WaitForIdle();
  }

  int32_t Vote(const std::string& name) {
    const std::string hash = likes().GetHash(Picture(name));
    EXPECT_FALSE(hash.empty()) << name;
    return likes().Vote(hash, static_cast<uint32_t>(std::filesystem::file_size(Picture(name))));
  }

  // File names of the Likes order.
  std::vector<std::string> LikesOrder() const {
    std::vector<std::string> names;
    std::shared_ptr<const OrderSet> orders = catalogue_->orders().Current();
    for (size_t p = 0; p < orders->Size(ListOrder::Likes); ++p) {
      const std::string_view path = orders->At(ListOrder::Likes, p).path;
      names.push_back(std::filesystem::path(path).filename());
    }
    return names;
  }

  // The list update runs on the real clock, behind the one UpdateLater moves on: the job it
  // may post (a save, counted as due) is waited for, so it cannot land in a later step.
  std::string Diagnostics() {
    catalogue_->UpdateList(false);
    likes().WaitForIdle();
    return catalogue_->DiagnosticsText();
  }

  TempDir dir_;
  TestFileAccess access_;
  MySystem::CThreadMgr pool_{2};
  std::unique_ptr<ImageCatalogue> catalogue_;
  int64_t now_ms_ = 0;
};

TEST_F(LikeTableTest, IdenticalFilesShareOneCountAndOnePlace) {
  WriteFile(Picture("copy.jpg"), std::string("apple"));
  Start(dir_.Join("hash.dat"));
  EXPECT_EQ(Vote("a.jpg"), 0);
  EXPECT_EQ(Vote("copy.jpg"), 1);
  EXPECT_EQ(Vote("b.jpg"), 0);
  EXPECT_EQ(likes().GetCount(FileContentHash(access_.files, Picture("a.jpg"))), 1);
  UpdateLater(1000);
  const std::vector<std::string> order = LikesOrder();
  ASSERT_EQ(order.size(), 2u);
  EXPECT_TRUE(order[0] == "a.jpg" || order[0] == "copy.jpg") << order[0];
  EXPECT_EQ(order[1], "b.jpg");
}

TEST_F(LikeTableTest, LikesSurviveARestartAndFollowARenamedFile) {
  const std::string hash_path = dir_.Join("hash.dat");
  Start(hash_path);
  EXPECT_EQ(LikesOrder(), std::vector<std::string>{});
  Vote("b.jpg");
  Vote("b.jpg");
  Vote("c.jpg");
  UpdateLater(1000);
  EXPECT_EQ(LikesOrder(), (std::vector<std::string>{"b.jpg", "c.jpg"}));
  EXPECT_FALSE(likes().dirty());
  Vote("c.jpg");
  Vote("c.jpg");  // c: 2, b: 1, not saved by a ranking yet
  EXPECT_TRUE(likes().SaveAtStop());

  std::filesystem::rename(Picture("c.jpg"), Picture("renamed.jpg"));
  Start(hash_path);
  EXPECT_EQ(LikesOrder(), (std::vector<std::string>{"renamed.jpg", "b.jpg"}));
  EXPECT_EQ(Vote("renamed.jpg"), 3);
  EXPECT_EQ(Vote("b.jpg"), 2);
  EXPECT_EQ(Vote("a.jpg"), 0);
}

TEST_F(LikeTableTest, ManyLikedFilesAreFoundAgainAtStart) {
  // More files than one helper turn, so the hashing and the checks are shared out.
  for (int i = 0; i < 300; ++i) {
    WriteFile(Picture("many/" + std::to_string(i) + ".jpg"), "picture " + std::to_string(i));
  }
  const std::string hash_path = dir_.Join("hash.dat");
  Start(hash_path);
  for (int i = 0; i < 300; i += 2) {
    for (int like = 0; like <= i % 3; ++like) Vote("many/" + std::to_string(i) + ".jpg");
  }
  EXPECT_TRUE(likes().SaveAtStop());

  Start(hash_path);
  const std::vector<std::string> order = LikesOrder();
  ASSERT_EQ(order.size(), 150u);
  // Picture i has i % 3 likes after the first: most first.
  for (size_t p = 1; p < order.size(); ++p) {
    EXPECT_GE(std::stoi(order[p - 1]) % 3, std::stoi(order[p]) % 3) << order[p];
  }
}

TEST_F(LikeTableTest, AFileRenamedWhileRunningComesBackAfterTheCacheCheck) {
  Start(dir_.Join("hash.dat"));
  Vote("c.jpg");
  UpdateLater(1000);
  ASSERT_EQ(LikesOrder(), std::vector<std::string>{"c.jpg"});

  std::filesystem::rename(Picture("c.jpg"), Picture("d.jpg"));
  Rescan();
  EXPECT_EQ(LikesOrder(), std::vector<std::string>{});
  EXPECT_EQ(likes().CachedPathCount(), 1u);
  // The check every half hour finds the cached path gone and empties the cache; the next
  // update finds the content again under its new name.
  UpdateLater(kHalfHourMs);
  EXPECT_EQ(likes().CachedPathCount(), 0u);
  UpdateLater(1000);
  EXPECT_EQ(LikesOrder(), std::vector<std::string>{"d.jpg"});
  EXPECT_EQ(Vote("d.jpg"), 1);
}

TEST_F(LikeTableTest, AFailedSaveIsTriedAgain) {
  const std::string folder = dir_.Join("later");
  Start(folder + "/hash.dat");
  Vote("a.jpg");
  UpdateLater(1000);
  EXPECT_TRUE(likes().dirty());
  EXPECT_NE(Diagnostics().find("SaveHash(temp) failed\n"), std::string::npos);

  std::filesystem::create_directory(folder);
  UpdateLater(1000);
  EXPECT_TRUE(likes().dirty());  // not before the save interval has passed
  UpdateLater(LikeTable::kSaveIntervalMs);
  EXPECT_FALSE(likes().dirty());
  EXPECT_TRUE(std::filesystem::exists(folder + "/hash.dat"));
  EXPECT_EQ(Diagnostics().find("SaveHash"), std::string::npos);
}

TEST_F(LikeTableTest, AnEmptyFileNameNeverSaves) {
  Start("");
  Vote("a.jpg");
  UpdateLater(1000);
  EXPECT_FALSE(likes().dirty());
  EXPECT_EQ(LikesOrder(), std::vector<std::string>{"a.jpg"});
  EXPECT_NE(Diagnostics().find("hash_file_path is empty\n"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);  // pics alone
}

TEST_F(LikeTableTest, AFileThatCannotBeReadIsNotSavedOver) {
  const std::string hash_path = dir_.Join("hash.dat");
  std::filesystem::create_directory(hash_path);
  Start(hash_path);
  Vote("a.jpg");
  UpdateLater(1000);
  EXPECT_TRUE(std::filesystem::is_directory(hash_path));
  EXPECT_NE(Diagnostics().find("LoadHash failed: likes are not saved\n"), std::string::npos);
}

TEST_F(LikeTableTest, AFileThatCannotBeReadHasNoHash) {
  Start(dir_.Join("hash.dat"));
  EXPECT_EQ(likes().GetHash(Picture("gone.jpg")), "");
  EXPECT_EQ(likes().CachedPathCount(), 0u);
  EXPECT_EQ(likes().GetHash(Picture("a.jpg")), FileContentHash(access_.files, Picture("a.jpg")));
  EXPECT_EQ(likes().CachedPathCount(), 1u);
}

TEST_F(LikeTableTest, AQuickVoteNeedsAHashedPicture) {
  Start(dir_.Join("hash.dat"));
  const std::string hash = FileContentHash(access_.files, Picture("a.jpg"));
  int32_t count = -7;
  EXPECT_FALSE(likes().TryVoteCached(Picture("a.jpg"), 5, &count));
  EXPECT_EQ(likes().GetCount(hash), -1);
  EXPECT_FALSE(likes().dirty());
  EXPECT_EQ(Vote("a.jpg"), 0);
  EXPECT_TRUE(likes().TryVoteCached(Picture("a.jpg"), 5, &count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(likes().GetCount(hash), 1);
}

TEST_F(LikeTableTest, ConcurrentVotesAreEachCountedOnce) {
  Start(dir_.Join("hash.dat"));
  const std::string hash = likes().GetHash(Picture("a.jpg"));
  constexpr int kThreads = 4;
  constexpr int kVotes = 100;
  std::vector<std::vector<int32_t>> answers(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kVotes; ++i) answers[t].push_back(likes().Vote(hash, 5));
    });
  }
  // The like part runs beside the votes, as the loop runs it.
  for (int i = 0; i < 20; ++i) UpdateLater(1000);
  for (std::thread& thread : threads) thread.join();
  std::vector<int32_t> all;
  for (const auto& a : answers) all.insert(all.end(), a.begin(), a.end());
  std::sort(all.begin(), all.end());
  for (int i = 0; i < kThreads * kVotes; ++i) ASSERT_EQ(all[i], i);
}

// The configuration file named as the hash list: likes count, but the file keeps its bytes.
TEST_F(LikeTableTest, AFileThatIsNoHashListIsLeftAlone) {
  const std::string config = dir_.Join("gallery.con");
  const std::string text = "<PATH>" + dir_.Join("pics") + "</PATH>\r\n<PORT>8080</PORT>\r\n";
  WriteFile(config, text);
  Start(config);
  EXPECT_EQ(Vote("a.jpg"), 0);
  EXPECT_EQ(Vote("a.jpg"), 1);
  UpdateLater(LikeTable::kSaveIntervalMs + 1);
  EXPECT_TRUE(likes().SaveAtStop());
  EXPECT_EQ(LikesOrder(), std::vector<std::string>{"a.jpg"});
  const std::vector<uint8_t> after = test_support::ReadFile(config);
  EXPECT_EQ(std::string(after.begin(), after.end()), text);
  EXPECT_NE(Diagnostics().find("holds no like record, so it is left alone"), std::string::npos);
}

// A save cut short by a kill leaves its temporary file, which the next start removes.
TEST_F(LikeTableTest, TemporaryFilesOfAnUnfinishedSaveGoAtStart) {
  const std::string hash_path = dir_.Join("hash.dat");
  WriteFile(hash_path + ".00C0FFEE.tmp", std::string("half a save"));
  Start(hash_path);
  EXPECT_FALSE(std::filesystem::exists(hash_path + ".00C0FFEE.tmp"));
}

// Likes in a stream are saved once an interval; a table that matches its file (as read at
// start, in whatever form) is not written at all.
TEST_F(LikeTableTest, SavesAreOneAnIntervalAndOnlyAfterAChange) {
  const std::string hash_path = dir_.Join("hash.dat");
  const std::string text = "<HASH_INFO>\n<VIEWD>4</VIEWD>\n<FILE_SIZE>6</FILE_SIZE>\n<HASH>" +
                           FileContentHash(access_.files, Picture("c.jpg")) +
                           "</HASH>\n</HASH_INFO>\n";
  WriteFile(hash_path, text);
  Start(hash_path);
  for (int i = 0; i < 3; ++i) UpdateLater(LikeTable::kSaveIntervalMs + 1);
  EXPECT_FALSE(likes().dirty());
  std::vector<uint8_t> saved = test_support::ReadFile(hash_path);
  EXPECT_EQ(std::string(saved.begin(), saved.end()), text);

  Vote("a.jpg");
  UpdateLater(1000);
  EXPECT_FALSE(likes().dirty());  // the first change is saved at once
  Vote("a.jpg");
  UpdateLater(1000);
  EXPECT_TRUE(likes().dirty());
  EXPECT_EQ(LikesOrder(), (std::vector<std::string>{"c.jpg", "a.jpg"}));  // ranked meanwhile
  UpdateLater(LikeTable::kSaveIntervalMs);
  EXPECT_FALSE(likes().dirty());
}

}  // namespace
