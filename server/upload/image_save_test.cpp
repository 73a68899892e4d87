#include "server/upload/image_save.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/test_folder.h"
#include "platform/testing/test_tmpfs.h"

namespace {

namespace fs = std::filesystem;

// Saves `body` at once, as a PendingUpload written in one piece.
SaveResult SaveUpload(const UploadFolder& folder, std::string_view file_name,
                      std::string_view content_type, std::string_view body, uint16_t unique) {
  PendingUpload upload;
  SaveResult opened = upload.Open(folder, file_name, content_type);
  if (opened != SaveResult::kSuccess) return opened;
  upload.Write(body);
  return upload.Finish(unique);
}

// The names in `after` that are not in `before`.
std::vector<std::string> Added(const std::set<std::string>& before,
                               const std::set<std::string>& after) {
  std::vector<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  return added;
}

TEST(SaveUploadTest, JsonBodiesAre36Bytes) {
  EXPECT_EQ(SaveResultJson(SaveResult::kSuccess), "{\"state\":\"success\",\"response\":\"xxx\"}");
  EXPECT_EQ(SaveResultJson(SaveResult::kRefused), "{\"state\":\"refused\",\"response\":\"xxx\"}");
  EXPECT_EQ(SaveResultJson(SaveResult::kFailure), "{\"state\":\"failure\",\"response\":\"xxx\"}");
  for (SaveResult r : {SaveResult::kSuccess, SaveResult::kRefused, SaveResult::kFailure}) {
    EXPECT_EQ(SaveResultJson(r).size(), 36u);
  }
}

// Each case saves one file into a folder holding `existing` and checks the result and the
// one name that appeared (or that none did).
TEST(SaveUploadTest, NamesAndResults) {
  struct Case {
    std::vector<std::string> existing;
    std::string sent;
    std::string type;
    bool zip_allowed;
    SaveResult result;
    std::string added;  // "" when nothing may appear
  } cases[] = {
      {{}, "photo.jpg", "image/jpeg", false, SaveResult::kSuccess, "photo.jpg"},
      {{"photo.jpg", "photo (1).jpg"},
       "photo.JPG",
       "image/jpeg",
       false,
       SaveResult::kSuccess,
       "photo (2).jpg"},
      {{"photo (3).png"},
       "photo (3).png",
       "image/png",
       false,
       SaveResult::kSuccess,
       "photo (1).png"},
      {{"photo (02).png"},
       "photo (02).png",
       "image/png",
       false,
       SaveResult::kSuccess,
       "photo (02) (1).png"},
      {{}, "photo", "image/gif", false, SaveResult::kSuccess, ".gif"},
      {{".gif"}, "photo", "image/gif", false, SaveResult::kSuccess, " (1).gif"},
      {{}, "scan.bmp", "image/bmp", false, SaveResult::kSuccess, "scan.bmp"},
      {{"IMG_0001.heic"},
       "IMG_0001.HEIC",
       "image/heic",
       false,
       SaveResult::kSuccess,
       "IMG_0001 (1).heic"},
      {{}, "DSCF0001.HIF", "image/heif", false, SaveResult::kSuccess, "DSCF0001.heif"},
      {{}, "PXL_0003.avif", "image/avif", false, SaveResult::kSuccess, "PXL_0003.avif"},
      {{}, "../../x.jpg", "image/jpeg", false, SaveResult::kSuccess, "x.jpg"},
      {{}, "a/b/c.jpg", "image/jpeg", false, SaveResult::kSuccess, "c.jpg"},
      {{}, "..\\..\\x.jpg", "image/jpeg", false, SaveResult::kSuccess, "x.jpg"},
      {{}, "\xFF.jpg", "image/jpeg", false, SaveResult::kSuccess, "\xEF\xBF\xBD.jpg"},
      {{}, "a\nb.jpg", "image/jpeg", false, SaveResult::kFailure, ""},
      {{}, std::string("a\0b.jpg", 7), "image/jpeg", false, SaveResult::kFailure, ""},
      {{}, "p.jpg", "image/jpg", true, SaveResult::kRefused, ""},
      {{}, "p.webp", "image/webp", true, SaveResult::kRefused, ""},
      {{}, "p.png", "image/PNG", true, SaveResult::kRefused, ""},
      {{}, "p.zip", "application/zip", true, SaveResult::kSuccess, "p.zip"},
      {{}, "p.zip", "application/zip", false, SaveResult::kRefused, ""},
      {{}, "", "image/png", false, SaveResult::kSuccess, "imgBEEF.TMP.png"},
      {{"imgBEEF.TMP.png"}, "..", "image/png", false, SaveResult::kSuccess, "imgBEF0.TMP.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sent + " " + c.type);
    TestFolder folder;
    for (const std::string& name : c.existing) folder.Write(name, "old");
    std::set<std::string> before = FolderEntries(folder.Root());
    EXPECT_EQ(SaveUpload({folder.Root(), c.zip_allowed}, c.sent, c.type, "new", 0xBEEF), c.result);
    std::vector<std::string> added = Added(before, FolderEntries(folder.Root()));
    if (c.added.empty()) {
      EXPECT_TRUE(added.empty());
    } else {
      ASSERT_EQ(added, std::vector<std::string>{c.added});
      EXPECT_EQ(folder.Read(c.added), "new");
    }
    for (const std::string& name : c.existing) EXPECT_EQ(folder.Read(name), "old");
  }
}

TEST(SaveUploadTest, NeverWritesThroughAPlantedLink) {
  TestFolder folder, outside;
  fs::create_symlink(outside.Path("victim.jpg"), folder.Path("photo.jpg"));
  fs::create_directory_symlink(outside.Root(), folder.Path("sub"));
  EXPECT_EQ(SaveUpload({folder.Root(), false}, "photo.jpg", "image/jpeg", "new", 1),
            SaveResult::kSuccess);
  EXPECT_EQ(SaveUpload({folder.Root(), false}, "sub/photo.jpg", "image/jpeg", "new", 1),
            SaveResult::kSuccess);
  EXPECT_EQ(FolderEntries(folder.Root()),
            (std::set<std::string>{"photo.jpg", "photo (1).jpg", "photo (2).jpg", "sub"}));
  EXPECT_TRUE(FolderEntries(outside.Root()).empty());
}

TEST(SaveUploadTest, FailsWithoutAUsableFolder) {
  TestFolder folder;
  EXPECT_EQ(SaveUpload({"", false}, "p.jpg", "image/jpeg", "x", 1), SaveResult::kFailure);
  EXPECT_EQ(SaveUpload({folder.Path("gone"), false}, "p.jpg", "image/jpeg", "x", 1),
            SaveResult::kFailure);
  // A refused type is refused before the folder is looked at.
  EXPECT_EQ(SaveUpload({"", false}, "p.jpg", "image/jpg", "x", 1), SaveResult::kRefused);
}

// Writers racing for one name each get a name of their own, and every file is whole.
TEST(SaveUploadTest, ConcurrentSavesOfOneNameGetDifferentNames) {
  TestFolder folder;
  constexpr int kWriters = 8;
  std::vector<std::string> bodies;
  for (int i = 0; i < kWriters; ++i)
    bodies.push_back(std::string(256 * 1024, static_cast<char>('a' + i)));
  std::vector<SaveResult> results(kWriters);
  std::vector<std::thread> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.emplace_back([&, i] {
      results[i] = SaveUpload({folder.Root(), false}, "photo.jpg", "image/jpeg", bodies[i], 7);
    });
  }
  for (std::thread& w : writers) w.join();
  for (SaveResult r : results) EXPECT_EQ(r, SaveResult::kSuccess);
  std::set<std::string> contents;
  std::set<std::string> names = FolderEntries(folder.Root());
  EXPECT_EQ(names.size(), static_cast<size_t>(kWriters));
  EXPECT_TRUE(names.count("photo.jpg"));
  for (const std::string& name : names) contents.insert(folder.Read(name));
  EXPECT_EQ(contents, std::set<std::string>(bodies.begin(), bodies.end()));
}

// A real full disk: a 256 KiB tmpfs.
TEST(SaveUploadTest, AFullDiskAnswersFailureAndLeavesNoFile) {
  TestFolder folder;
  if (!MountSmallTmpfs(folder.Root(), "256k")) {
    GTEST_SKIP() << "mounting a tmpfs needs CAP_SYS_ADMIN";
  }
  EXPECT_EQ(SaveUpload({folder.Root(), false}, "small.jpg", "image/jpeg", "x", 1),
            SaveResult::kSuccess);
  EXPECT_EQ(
      SaveUpload({folder.Root(), false}, "big.jpg", "image/jpeg", std::string(1024 * 1024, 'x'), 1),
      SaveResult::kFailure);
  EXPECT_EQ(FolderEntries(folder.Root()), std::set<std::string>{"small.jpg"});
  UnmountTmpfs(folder.Root());
}

}  // namespace
