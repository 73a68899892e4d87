#include "server/catalogue/image_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/testing/test_latch.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/catalogue/testing/test_support.h"

namespace {

using test_support::Quote;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

class ImageCatalogueTest : public testing::Test {
 protected:
  ImageCatalogueTest() : catalogue_(&pool_, access_.files) {
    catalogue_.SetFolders({dir_.path()});
    catalogue_.SetRecursive(true);
  }

  // One scan and the list updates that follow it, as the loop would run them, up to the one
  // that replaces the list. Returns whether the list was replaced.
  bool ScanAndUpdate(bool logical = false) {
    EXPECT_TRUE(catalogue_.Rescan());
    catalogue_.WaitForIdle();
    if (catalogue_.UpdateList(logical)) return true;  // posts the comparison
    catalogue_.WaitForIdle();
    return catalogue_.UpdateList(logical);  // takes its result
  }

  std::vector<std::string> NameOrder() {
    std::vector<std::string> paths;
    std::shared_ptr<const OrderSet> orders = catalogue_.orders().Current();
    for (size_t p = 0; p < orders->Size(ListOrder::Name); ++p) {
      paths.emplace_back(orders->At(ListOrder::Name, p).path.substr(dir_.path().size() + 1));
    }
    return paths;
  }

  TempDir dir_;
  TestFileAccess access_;
  MySystem::CThreadMgr pool_{2};
  ImageCatalogue catalogue_;
};

TEST_F(ImageCatalogueTest, FirstScanPublishesListAndOrders) {
  WriteFile(dir_.Join("a10.jpg"), std::string("1"));
  WriteFile(dir_.Join("a2.jpg"), std::string("2"));
  WriteFile(dir_.Join("a1.jpg"), std::string("3"));
  WriteFile(dir_.Join("sub/b.jpg"), std::string("4"));
  EXPECT_TRUE(catalogue_.CurrentList()->empty());
  EXPECT_TRUE(ScanAndUpdate(true));
  EXPECT_EQ(NameOrder(), (std::vector<std::string>{"a1.jpg", "a2.jpg", "a10.jpg", "sub/b.jpg"}));
  EXPECT_EQ(catalogue_.CurrentList()->size(), 4u);
  EXPECT_EQ(catalogue_.orders().Current()->Size(ListOrder::FolderTopByName), 2u);
  EXPECT_EQ(catalogue_.ScanCount(), 1u);
  EXPECT_EQ(catalogue_.GetFiles().size(), 4u);
  // The orders keep the list itself, not a copy of it.
  EXPECT_EQ(&catalogue_.orders().Current()->At(ListOrder::Date, 0),
            &catalogue_.CurrentList()->front());
}

TEST_F(ImageCatalogueTest, ListReplacedOnlyWhenTheScanDiffers) {
  WriteFile(dir_.Join("x.jpg"), std::string("1"));
  WriteFile(dir_.Join("y.jpg"), std::string("2"));
  ASSERT_TRUE(ScanAndUpdate());
  EXPECT_NE(catalogue_.DiagnosticsText().find("need_update_hash_list_only1:1"), std::string::npos);
  std::shared_ptr<const OrderSet> before = catalogue_.orders().Current();
  std::shared_ptr<const std::vector<ImageEntry>> list_before = catalogue_.CurrentList();

  // Same files, same times: nothing is replaced, positions stay.
  EXPECT_FALSE(ScanAndUpdate());
  EXPECT_EQ(catalogue_.orders().Current(), before);
  EXPECT_EQ(catalogue_.CurrentList(), list_before);
  EXPECT_EQ(catalogue_.DiagnosticsText(), "");
  EXPECT_EQ(catalogue_.GetFiles().size(), 2u);  // the scan result was dropped for the list

  // A touched file (new modification time) replaces the list after the next scan.
  const std::string y = dir_.Join("y.jpg");
  std::filesystem::last_write_time(
      y, std::filesystem::last_write_time(y) + std::chrono::milliseconds(1));
  EXPECT_TRUE(ScanAndUpdate());
  EXPECT_NE(catalogue_.orders().Current(), before);
  EXPECT_EQ(NameOrder(), (std::vector<std::string>{"x.jpg", "y.jpg"}));

  // A removed file too.
  std::filesystem::remove(y);
  EXPECT_TRUE(ScanAndUpdate());
  EXPECT_EQ(NameOrder(), (std::vector<std::string>{"x.jpg"}));
}

TEST_F(ImageCatalogueTest, NoSecondScanWhileOneRuns) {
  // Block the pool's both workers so the scan job stays queued. The jobs share the latches:
  // a job that has counted down `started` may be slow to reach `gate` and still be on its way
  // when this test's body has ended.
  auto started = std::make_shared<TestLatch>(2);
  auto gate = std::make_shared<TestLatch>(1);
  struct Block : CThreadCommand {
    std::shared_ptr<TestLatch> started;
    std::shared_ptr<TestLatch> gate;
    int Run() override {
      started->count_down();
      gate->wait();
      return 0;
    }
  };
  for (int i = 0; i < 2; ++i) {
    auto job = std::make_unique<Block>();
    job->started = started;
    job->gate = gate;
    pool_.Post(std::move(job), 0);
  }
  started->wait();
  EXPECT_TRUE(catalogue_.Rescan());
  EXPECT_TRUE(catalogue_.IsScanning());
  EXPECT_FALSE(catalogue_.Rescan());
  // The loop goes on: the list update does not wait for the scan.
  EXPECT_FALSE(catalogue_.UpdateList(false));
  catalogue_.RescanWhenDue(1LL << 40, false);
  gate->count_down();
  catalogue_.WaitForIdle();
  EXPECT_FALSE(catalogue_.IsScanning());
  EXPECT_EQ(catalogue_.ScanCount(), 1u);
}

TEST_F(ImageCatalogueTest, RescanWhenDueWaitsThirtySeconds) {
  // The schedule starts at the catalogue's construction, no later than `now`.
  const int64_t start = platform::TickCountMs() - 100000;
  catalogue_.RescanWhenDue(start + 100000 + 29999 - 30000, false);
  catalogue_.WaitForIdle();
  const uint32_t scans = catalogue_.ScanCount();
  EXPECT_EQ(scans, 0u);
  catalogue_.RescanWhenDue(start + 100000 + 40000, false);
  catalogue_.WaitForIdle();
  EXPECT_EQ(catalogue_.ScanCount(), scans + 1);
  catalogue_.RescanWhenDue(start + 100000 + 40000 + 29999, false);
  catalogue_.WaitForIdle();
  EXPECT_EQ(catalogue_.ScanCount(), scans + 1);
  catalogue_.RescanWhenDue(start + 100000 + 40000 + 30000, false);
  catalogue_.WaitForIdle();
  EXPECT_EQ(catalogue_.ScanCount(), scans + 2);
}

TEST_F(ImageCatalogueTest, MemberTimeFromTheLastScan) {
  WriteFile(dir_.Join("work/m.png"), std::string(200, 'm'));
  ASSERT_EQ(RunShell("cd " + Quote(dir_.Join("work")) + " && zip -q -X ../p.zip m.png"), 0);
  std::filesystem::remove_all(dir_.Join("work"));
  ASSERT_TRUE(ScanAndUpdate());
  ASSERT_EQ(catalogue_.CurrentList()->size(), 1u);
  const ImageEntry member = catalogue_.CurrentList()->front();
  EXPECT_EQ(member.path, dir_.Join("p.zip") + "|/m.png");
  SystemTime time;
  ASSERT_TRUE(catalogue_.GetMemberTime(member.path, &time));
  // The member's time as the file access layer reads it from the archive.
  SystemTime direct;
  ASSERT_TRUE(access_.files.GetTime(std::string(member.path), &direct));
  EXPECT_EQ(time, direct);
  // And the entry's time is the same moment.
  EXPECT_EQ(SystemTimeFromUnix(member.lastWriteTime / 10000000, 0), time);
  EXPECT_FALSE(catalogue_.GetMemberTime(dir_.Join("p.zip") + "|/other.png", &time));
  EXPECT_FALSE(catalogue_.GetMemberTime(dir_.Join("p.zip"), &time));
  // A changed archive is not answered from the scan's record.
  const std::string archive = dir_.Join("p.zip");
  std::filesystem::last_write_time(
      archive, std::filesystem::last_write_time(archive) + std::chrono::seconds(3));
  EXPECT_FALSE(catalogue_.GetMemberTime(member.path, &time));
}

TEST_F(ImageCatalogueTest, TimingTextShape) {
  catalogue_.UpdateList(false);
  const std::string timing = catalogue_.TimingText();
  ASSERT_TRUE(timing.starts_with("<br>updateList():")) << timing;
  ASSERT_TRUE(timing.ends_with("<br>")) << timing;
  // "<br>updateList():" ms "<br>" "YYYY/MM/DD hh:mm:ss" "<br>"
  const size_t stamp = timing.find("<br>", 17) + 4;
  EXPECT_EQ(timing.size() - stamp, 19u + 4u) << timing;
  EXPECT_EQ(timing[stamp + 4], '/');
  EXPECT_EQ(timing[stamp + 13], ':');
}

TEST_F(ImageCatalogueTest, StatusCountsFoldersAndRescans) {
  WriteFile(dir_.Join("a/1.jpg"), std::string("1"));
  WriteFile(dir_.Join("b/2.jpg"), std::string("2"));
  EXPECT_FALSE(catalogue_.Status().full_scan_done);
  ASSERT_TRUE(ScanAndUpdate());
  WriteFile(dir_.Join("b/3.jpg"), std::string("3"));
  ASSERT_TRUE(ScanAndUpdate());
  EXPECT_FALSE(ScanAndUpdate());
  EXPECT_TRUE(catalogue_.Rescan(/*full=*/true));
  catalogue_.WaitForIdle();
  const CatalogueStatus status = catalogue_.Status();
  EXPECT_EQ(status.folders, 3u);
  EXPECT_EQ(status.watched, 3u);
  ASSERT_EQ(status.last_hour.size(), 4u);
  const uint32_t listed[] = {3, 1, 0, 3};
  const bool full[] = {true, false, false, true};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(status.last_hour[i].listed, listed[i]) << i;
    EXPECT_EQ(status.last_hour[i].full, full[i]) << i;
  }
  EXPECT_TRUE(status.full_scan_done);
  EXPECT_EQ(status.last_full_scan.listed, 3u);
  EXPECT_EQ(status.last_full_scan_time.size(), 19u);
  EXPECT_EQ(catalogue_.CurrentList()->size(), 3u);
}

TEST_F(ImageCatalogueTest, AWatchLimitStillGivesTheWholeList) {
  ImageCatalogue limited(&pool_, access_.files);
  limited.SetFolders({dir_.path()});
  limited.SetRecursive(true);
  limited.SetWatchLimit(1);
  const auto scan = [&] {
    EXPECT_TRUE(limited.Rescan());
    limited.WaitForIdle();
    limited.UpdateList(false);
    limited.WaitForIdle();
    limited.UpdateList(false);
  };
  WriteFile(dir_.Join("a/1.jpg"), std::string("1"));
  scan();
  WriteFile(dir_.Join("a/2.jpg"), std::string("2"));
  WriteFile(dir_.Join("b/3.jpg"), std::string("3"));
  scan();
  EXPECT_EQ(limited.CurrentList()->size(), 3u);
  EXPECT_EQ(limited.Status().watched, 1u);
  // The root (changed), "a" (not watched) and the new "b".
  EXPECT_EQ(limited.Status().last_hour.back().listed, 3u);
}

}  // namespace
