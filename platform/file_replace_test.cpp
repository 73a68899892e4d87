#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/test_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const std::string& folder) {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ReplaceFileContentsTest, CreatesAndReplacesWithExactBytes) {
  TestFolder folder;
  const std::string path = folder.Path("a.con");
  const std::string first("one\0two", 7);
  ASSERT_TRUE(ReplaceFileContents(path, first));
  EXPECT_EQ(folder.Read("a.con"), first);
  ASSERT_TRUE(ReplaceFileContents(path, "2"));
  EXPECT_EQ(folder.Read("a.con"), "2");
  ASSERT_TRUE(ReplaceFileContents(path, ""));
  EXPECT_EQ(folder.Read("a.con"), "");
  EXPECT_EQ(EntriesIn(folder.Root()), 1u);  // no temporary file left
}

TEST(ReplaceFileContentsTest, KeepsThePermissionsOfTheOldFile) {
  TestFolder folder;
  const std::string path = folder.Write("a.con", "old");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(ReplaceFileContents(path, "new"));
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(ReplaceFileContentsTest, FailureLeavesNothingBehind) {
  TestFolder folder;
  // A folder in the way: the new file is written but cannot take the folder's place.
  fs::create_directory(folder.Path("taken"));
  EXPECT_FALSE(ReplaceFileContents(folder.Path("taken"), "x"));
  EXPECT_TRUE(fs::is_directory(folder.Path("taken")));
  EXPECT_EQ(EntriesIn(folder.Root()), 1u);
  EXPECT_FALSE(ReplaceFileContents(folder.Path("missing/a.con"), "x"));
}

// Only the temporary files of the one target go: not those of another file, not names that
// merely look alike, not a folder of that name.
TEST(ReplaceFileContentsTest, UnfinishedReplacementsAreRemoved) {
  TestFolder folder;
  const std::string path = folder.Write("hash.dat", "kept");
  for (const char* name : {"hash.dat.0123ABCD.tmp", "hash.dat.FFFFFFFF.tmp"})
    folder.Write(name, "");
  const char* kept[] = {"hash.dat.0123abcd.tmp", "hash.dat.0123ABC.tmp", "other.dat.0123ABCD.tmp",
                        "hash.dat.0123ABCD.tmp.old", "xhash.dat.0123ABCD.tmp"};
  for (const char* name : kept) folder.Write(name, "");
  fs::create_directory(folder.Path("hash.dat.00000000.tmp"));
  EXPECT_EQ(RemoveUnfinishedReplacements(path), 2);
  EXPECT_EQ(folder.Read("hash.dat"), "kept");
  for (const char* name : kept) EXPECT_TRUE(fs::exists(folder.Path(name))) << name;
  EXPECT_TRUE(fs::is_directory(folder.Path("hash.dat.00000000.tmp")));
  EXPECT_EQ(RemoveUnfinishedReplacements(folder.Path("missing/hash.dat")), 0);
}

}  // namespace
}  // namespace platform
