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

// `text` behind the first bytes a file of `content_type` has, so it passes the type's check.
std::string Signed(std::string_view content_type, std::string_view text) {
  if (content_type == "image/jpeg") return "\xFF\xD8\xFF" + std::string(text);
  if (content_type == "image/gif") return "GIF89a" + std::string(text);
  if (content_type == "image/png") return "\x89PNG\r\n\x1A\n" + std::string(text);
  if (content_type == "image/bmp") return "BM" + std::string(text);
  if (content_type == "application/zip") return std::string("PK\x03\x04", 4) + std::string(text);
  if (content_type == "image/heic" || content_type == "image/heif" ||
      content_type == "image/avif") {
    return std::string(
               "\0\0\0\x10"
               "ftypmif1\0\0\0\0",
               16) +
           std::string(text);
  }
  return std::string(text);
}

// Saves `body` at once, as a PendingUpload written in one piece.
FileOutcome SaveFile(const UploadFolder& folder, std::string_view file_name,
                     std::string_view content_type, std::string_view body, uint16_t unique) {
  PendingUpload upload;
  if (upload.Open(folder, file_name, content_type) == SaveResult::kSuccess) upload.Write(body);
  return upload.Finish(unique);
}

// SaveFile of `text` with its type's first bytes; the result.
SaveResult SaveUpload(const UploadFolder& folder, std::string_view file_name,
                      std::string_view content_type, std::string_view text, uint16_t unique) {
  return SaveFile(folder, file_name, content_type, Signed(content_type, text), unique).result;
}

// The names in `after` that are not in `before`.
std::vector<std::string> Added(const std::set<std::string>& before,
                               const std::set<std::string>& after) {
  std::vector<std::string> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  return added;
}

// The uploader showed one result for a whole batch, the last file's: a text file and a JPEG
// said refused although the JPEG was saved. The answer now holds each file's own result.
TEST(SaveUploadTest, TheAnswerHoldsEveryFilesResult) {
  EXPECT_EQ(kNoFilesJson, "{\"state\":\"failure\",\"response\":\"xxx\"}");
  EXPECT_EQ(UploadAnswerJson({{"a.jpg", {SaveResult::kSuccess, "", "a (1).jpg"}}}),
            "{\"state\":\"success\",\"response\":\"xxx\",\"files\":["
            "{\"name\":\"a.jpg\",\"state\":\"success\",\"saved\":\"a (1).jpg\"}]}");
  EXPECT_EQ(UploadAnswerJson({{"notes.txt", {SaveResult::kRefused, "type", ""}},
                              {"猫.jpg", {SaveResult::kSuccess, "", "猫.jpg"}},
                              {"clip.mp4", {SaveResult::kFailure, "folder", ""}}}),
            "{\"state\":\"refused\",\"response\":\"xxx\",\"files\":["
            "{\"name\":\"notes.txt\",\"state\":\"refused\",\"reason\":\"type\"},"
            "{\"name\":\"猫.jpg\",\"state\":\"success\",\"saved\":\"猫.jpg\"},"
            "{\"name\":\"clip.mp4\",\"state\":\"failure\",\"reason\":\"folder\"}]}");
  // Sent names are the client's: quotes, backslashes, control characters and bytes that are
  // not UTF-8 cannot break the JSON.
  EXPECT_EQ(UploadAnswerJson({{"a\"b\\c\n\xFF", {SaveResult::kRefused, "name", ""}}}),
            "{\"state\":\"refused\",\"response\":\"xxx\",\"files\":["
            "{\"name\":\"a\\\"b\\\\c\\u000A\xEF\xBF\xBD\",\"state\":\"refused\",\"reason\":"
            "\"name\"}]}");
}

// What a file's bytes must be: those of its declared type, however they arrive.
TEST(SaveUploadTest, BytesThatAreNotOfTheTypeAreRefused) {
  TestFolder folder;
  struct Case {
    std::vector<std::string> pieces;
    FileOutcome outcome;
  } cases[] = {
      {{"hello, I am a text file with a picture's name\n"}, {SaveResult::kRefused, "content", ""}},
      {{"\xFF", "\xD8", "\xFF\xE0 rest of a JPEG"}, {SaveResult::kSuccess, "", "p.jpg"}},
      {{"\xFF\xD8\xFF"}, {SaveResult::kSuccess, "", "p (1).jpg"}},  // short, but a JPEG's start
      {{"\xFF\xD8"}, {SaveResult::kRefused, "content", ""}},
      {{}, {SaveResult::kRefused, "content", ""}},                         // empty
      {{"\x89PNG\r\n\x1A\n...."}, {SaveResult::kRefused, "content", ""}},  // a PNG sent as JPEG
  };
  for (const Case& c : cases) {
    PendingUpload upload;
    ASSERT_EQ(upload.Open({folder.Root(), false}, "p.jpg", "image/jpeg"), SaveResult::kSuccess);
    for (const std::string& piece : c.pieces) upload.Write(piece);
    EXPECT_EQ(upload.Finish(1), c.outcome) << (c.pieces.empty() ? "" : c.pieces[0]);
  }
  EXPECT_EQ(FolderEntries(folder.Root()), (std::set<std::string>{"p.jpg", "p (1).jpg"}));
  EXPECT_EQ(folder.Read("p.jpg"), "\xFF\xD8\xFF\xE0 rest of a JPEG");
}

TEST(SaveUploadTest, EachRefusalSaysWhy) {
  TestFolder folder;
  struct Case {
    UploadFolder folder;
    std::string sent, type;
    FileOutcome outcome;
  } cases[] = {
      {{folder.Root(), false}, "notes.txt", "text/plain", {SaveResult::kRefused, "type", ""}},
      {{folder.Root(), false}, "a.zip", "application/zip", {SaveResult::kRefused, "type", ""}},
      {{folder.Root(), false}, "a\nb.jpg", "image/jpeg", {SaveResult::kRefused, "name", ""}},
      {{"", false}, "a.jpg", "image/jpeg", {SaveResult::kFailure, "folder", ""}},
      {{folder.Path("gone"), false}, "a.jpg", "image/jpeg", {SaveResult::kFailure, "folder", ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SaveFile(c.folder, c.sent, c.type, Signed(c.type, "x"), 1), c.outcome) << c.sent;
  }
  EXPECT_TRUE(FolderEntries(folder.Root()).empty());
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
      {{}, "a\nb.jpg", "image/jpeg", false, SaveResult::kRefused, ""},
      {{}, std::string("a\0b.jpg", 7), "image/jpeg", false, SaveResult::kRefused, ""},
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
      EXPECT_EQ(folder.Read(c.added), Signed(c.type, "new"));
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
  std::set<std::string> expected;
  for (const std::string& body : bodies) expected.insert(Signed("image/jpeg", body));
  EXPECT_EQ(contents, expected);
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
