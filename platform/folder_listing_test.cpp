#include "platform/folder_listing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/testing/test_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A file, a folder, links to each, a dangling link: the listing's types alone where they
// are enough, the status read where a link must be followed, and on demand.
TEST(FolderReaderTest, TypesFromTheListingStatusWhereNeeded) {
  TestFolder folder;
  folder.Write("file.jpg", "12345");
  fs::create_directory(folder.Path("sub"));
  fs::create_symlink(folder.Path("file.jpg"), folder.Path("to_file"));
  fs::create_directory_symlink(folder.Path("sub"), folder.Path("to_sub"));
  fs::create_symlink(folder.Path("nowhere"), folder.Path("dangling"));

  struct Seen {
    bool is_directory, is_regular, is_link, has_status;
  };
  std::map<std::string, Seen> seen;
  FolderReader reader;
  ASSERT_TRUE(reader.Open(folder.Root()));
  FolderEntry entry;
  while (reader.Next(&entry)) {
    seen[std::string(entry.name)] = {entry.is_directory, entry.is_regular, entry.is_link,
                                     entry.has_status};
    if (entry.name == "file.jpg") {
      ASSERT_TRUE(reader.ReadStatus(&entry));
      EXPECT_EQ(entry.size, 5u);
      EXPECT_GT(entry.mtime_sec, 0);
    }
    if (entry.name == "sub" || entry.name == "to_sub") {
      if (!entry.has_status) {
        ASSERT_TRUE(reader.ReadStatus(&entry));
      }
      FolderId id;
      ASSERT_TRUE(FolderIdOf(folder.Path("sub"), &id));
      EXPECT_EQ(entry.folder_id, id) << entry.name;
    }
  }
  ASSERT_EQ(seen.size(), 4u);  // the dangling link is skipped
  const auto expect = [&](const std::string& name, Seen want) {
    const Seen& got = seen[name];
    EXPECT_EQ(got.is_directory, want.is_directory) << name;
    EXPECT_EQ(got.is_regular, want.is_regular) << name;
    EXPECT_EQ(got.is_link, want.is_link) << name;
    EXPECT_EQ(got.has_status, want.has_status) << name;
  };
  expect("file.jpg", {false, true, false, false});
  expect("sub", {true, false, false, false});
  expect("to_file", {false, true, true, true});
  expect("to_sub", {true, false, true, true});

  // A file gone after the listing named it can no longer be examined.
  ASSERT_TRUE(reader.Open(folder.Root()));
  while (reader.Next(&entry) && entry.name != "file.jpg") {
  }
  ASSERT_EQ(entry.name, "file.jpg");
  fs::remove(folder.Path("file.jpg"));
  EXPECT_FALSE(reader.ReadStatus(&entry));
}

}  // namespace
}  // namespace platform
