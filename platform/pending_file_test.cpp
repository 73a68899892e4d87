#include "platform/pending_file.h"

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/testing/test_folder.h"
#include "platform/testing/test_tmpfs.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Both ways of creating: unnamed (true), and under a temporary name (false).
class PendingFileTest : public ::testing::TestWithParam<bool> {
 protected:
  bool Create(PendingFile* file, const std::string& folder) {
    return GetParam() ? file->Create(folder) : file->CreateWithTemporaryName(folder);
  }
  TestFolder folder_;
};

TEST_P(PendingFileTest, AppearsOnlyWhenNamedAndComplete) {
  PendingFile file;
  ASSERT_TRUE(Create(&file, folder_.Root()));
  ASSERT_TRUE(file.Write("first "));
  ASSERT_TRUE(file.Write(std::string("second\0", 7)));
  ASSERT_TRUE(file.Sync());
  for (const std::string& name : FolderEntries(folder_.Root())) {
    EXPECT_EQ(fs::path(name).extension(), ".part") << "only a hidden temporary file: " << name;
  }
  ASSERT_EQ(file.Name("photo.jpg"), NameResult::kNamed);
  EXPECT_EQ(FolderEntries(folder_.Root()), std::set<std::string>{"photo.jpg"});
  EXPECT_EQ(folder_.Read("photo.jpg"), std::string("first second\0", 13));
}

TEST_P(PendingFileTest, NeverTakesOrFollowsAnExistingName) {
  TestFolder outside;
  const std::string target = outside.Path("victim.jpg");
  folder_.Write("taken.jpg", "old");
  fs::create_symlink(target, folder_.Path("link.jpg"));  // dangling: names a file not yet there
  fs::create_directory(folder_.Path("folder.jpg"));

  PendingFile file;
  ASSERT_TRUE(Create(&file, folder_.Root()));
  ASSERT_TRUE(file.Write("new"));
  EXPECT_EQ(file.Name("taken.jpg"), NameResult::kExists);
  EXPECT_EQ(file.Name("link.jpg"), NameResult::kExists);
  EXPECT_EQ(file.Name("folder.jpg"), NameResult::kExists);
  for (const char* bad : {"", ".", "..", "a/b.jpg", "../x.jpg"}) {
    EXPECT_EQ(file.Name(bad), NameResult::kFailed) << bad;
  }
  EXPECT_EQ(folder_.Read("taken.jpg"), "old");
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(file.Name("free.jpg"), NameResult::kNamed);
  EXPECT_EQ(FolderEntries(folder_.Root()),
            (std::set<std::string>{"folder.jpg", "free.jpg", "link.jpg", "taken.jpg"}));
  EXPECT_TRUE(FolderEntries(outside.Root()).empty());
}

TEST_P(PendingFileTest, LeavesNothingBehindWhenNeverNamed) {
  {
    PendingFile file;
    ASSERT_TRUE(Create(&file, folder_.Root()));
    ASSERT_TRUE(file.Write("abandoned"));
  }
  EXPECT_TRUE(FolderEntries(folder_.Root()).empty());
}

TEST_P(PendingFileTest, FailsInAFolderThatIsNotThere) {
  PendingFile file;
  EXPECT_FALSE(Create(&file, folder_.Path("missing")));
  EXPECT_FALSE(file.Write("x"));
  EXPECT_EQ(file.Name("x.jpg"), NameResult::kFailed);
}

INSTANTIATE_TEST_SUITE_P(BothWays, PendingFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "TemporaryName"; });

// A write that runs into the file-size limit is cut short; the limit applies to this test's
// process alone (each test runs in a process of its own under CTest).
TEST(PendingFileWriteTest, ReportsAShortWrite) {
  TestFolder folder;
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 64 * 1024;
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool written;
  {
    PendingFile file;
    ASSERT_TRUE(file.Create(folder.Root()));
    written = file.Write(std::string(100 * 1024, 'x'));
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_FALSE(written);
  EXPECT_TRUE(FolderEntries(folder.Root()).empty());
}

// A real full disk: a 256 KiB tmpfs.
TEST(PendingFileWriteTest, ReportsAFullDisk) {
  TestFolder folder;
  if (!MountSmallTmpfs(folder.Root(), "256k")) {
    GTEST_SKIP() << "mounting a tmpfs needs CAP_SYS_ADMIN";
  }
  {
    PendingFile file;
    ASSERT_TRUE(file.Create(folder.Root()));
    EXPECT_FALSE(file.Write(std::string(1024 * 1024, 'x')));
  }
  {
    PendingFile file;
    ASSERT_TRUE(file.CreateWithTemporaryName(folder.Root()));
    EXPECT_FALSE(file.Write(std::string(1024 * 1024, 'x')));
  }
  EXPECT_TRUE(FolderEntries(folder.Root()).empty());
  UnmountTmpfs(folder.Root());
}

}  // namespace
}  // namespace platform
