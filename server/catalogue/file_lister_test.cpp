#include "server/catalogue/file_lister.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "server/catalogue/image_lister.h"
#include "server/catalogue/testing/test_support.h"

namespace {

using test_support::Quote;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

std::vector<std::string> Paths(const CImageLister& lister, const std::string& root) {
  std::vector<std::string> paths;
  for (const ImageEntry& e : lister.Files()) paths.push_back(e.path.substr(root.size() + 1));
  return paths;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string Text(size_t size) {
  std::string text;
  while (text.size() < size) text += "compressible text ";
  text.resize(size);
  return text;
}

// Runs `command` in `folder`.
void RunIn(const std::string& folder, const std::string& command) {
  ASSERT_EQ(RunShell("cd " + Quote(folder) + " && " + command), 0) << command;
}

TEST(ImageListerTest, ImageNameRule) {
  struct Case {
    const char* path;
    bool image;
  };
  const Case cases[] = {
      {"/p/photo.JPG", true},
      {"/p/photo.jpg_large", true},
      {"/p/photo.jpeg-1", true},
      {"/p/photo.webp", true},
      {"/p/a.zip|/photo.png:orig", true},
      {"/p/x.Svgz", true},
      {"/p/x.apng", true},
      {"/p/x.bmp", true},
      {"/p/x.gif", true},
      {"/p/IMG_0001.HEIC", true},
      {"/p/IMG_0002.heic", true},
      {"/p/PXL_0003.avif", true},
      {"/p/x.heif_1", true},
      {"/p/a.zip|/DSCF0001.HIF", true},
      {"/p/x.heics", false},
      {"/p/photo.jpe", false},
      {"/p/photo.tiff", false},
      {"/p/README", false},
      {"/p/a.ZIP", false},
      {"/p/.jpg", true},
      {"/p/x.jpg.txt", false},
      {"/p/x.j-pg", false},
      {"/p.jpg/README", false},
      {"/p/trip.jpg_files/README", false},
      {"/p/a.zip|/scans.png-1/notes", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsImagePath(c.path), c.image) << c.path;
}

TEST(FileListerTest, KeepsImagesAndArchiveMembers) {
  TempDir dir;
  for (const char* name : {"photo.JPG", "photo.jpg_large", "photo.jpeg-1", "photo.webp",
                           "photo.jpe", "photo.tiff", "README", "sub/inner.png"}) {
    WriteFile(dir.Join(name), std::string("image bytes"));
  }
  const std::string work = dir.Join("work");
  WriteFile(work + "/in.png", Text(500));
  WriteFile(work + "/orig.png:orig", Text(400));
  WriteFile(work + "/empty.png", std::string());
  WriteFile(work + "/deep/a.gif", Text(300));
  WriteFile(work + "/locked.png", Text(600));
  WriteFile(work + "/bz.png", Text(3000));
  RunIn(work, "zip -q -X ../a.ZIP in.png orig.png:orig empty.png deep/ deep/a.gif");
  RunIn(work, "zip -q -X -P secret ../a.ZIP locked.png && zip -q -X -Z bzip2 ../a.ZIP bz.png");
  std::filesystem::remove_all(work);

  CImageLister lister(false, false);
  lister.Scan({dir.path()});
  EXPECT_EQ(
      Sorted(Paths(lister, dir.path())),
      (std::vector<std::string>{"a.ZIP|/deep/a.gif", "a.ZIP|/in.png", "a.ZIP|/orig.png:orig",
                                "photo.JPG", "photo.jpeg-1", "photo.jpg_large", "photo.webp"}));
  for (const ImageEntry& e : lister.Files()) {
    if (e.path.ends_with("in.png")) {
      EXPECT_EQ(e.size, 500u);
    } else if (e.path.ends_with("photo.webp")) {
      EXPECT_EQ(e.size, 11u);
    }
  }
  ASSERT_EQ(lister.archive_cache().size(), 1u);

  CImageLister rejecting(false, true);
  rejecting.Scan({dir.path()});
  EXPECT_EQ(
      Sorted(Paths(rejecting, dir.path())),
      (std::vector<std::string>{"photo.JPG", "photo.jpeg-1", "photo.jpg_large", "photo.webp"}));
  EXPECT_TRUE(rejecting.archive_cache().empty());
}

TEST(FileListerTest, SubfoldersOnlyWhenRecursiveAndBreadthFirst) {
  TempDir dir;
  const std::string one = dir.Join("one"), two = dir.Join("two");
  for (const std::string& f :
       {one + "/1.jpg", one + "/s/2.jpg", one + "/s/t/3.jpg", two + "/4.jpg", two + "/u/5.jpg"}) {
    WriteFile(f, std::string("x"));
  }
  CImageLister flat(false, false);
  flat.Scan({two, one});
  EXPECT_EQ(Paths(flat, dir.path()), (std::vector<std::string>{"two/4.jpg", "one/1.jpg"}));

  CImageLister deep(true, false);
  deep.Scan({two, one});
  EXPECT_EQ(Paths(deep, dir.path()),
            (std::vector<std::string>{"two/4.jpg", "one/1.jpg", "two/u/5.jpg", "one/s/2.jpg",
                                      "one/s/t/3.jpg"}));
}

TEST(FileListerTest, SymbolicLinkLoopScannedOnce) {
  TempDir dir;
  WriteFile(dir.Join("top.jpg"), std::string("x"));
  WriteFile(dir.Join("a/in.jpg"), std::string("x"));
  std::filesystem::create_directory_symlink(dir.path(), dir.Join("a/back"));
  std::filesystem::create_directory_symlink(dir.Join("a"), dir.Join("again"));
  std::filesystem::create_symlink(dir.Join("missing"), dir.Join("dangling.jpg"));
  CImageLister lister(true, false);
  lister.Scan({dir.path()});
  std::vector<std::string> paths = Paths(lister, dir.path());
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], "top.jpg");
  EXPECT_TRUE(paths[1] == "a/in.jpg" || paths[1] == "again/in.jpg") << paths[1];
}

TEST(FileListerTest, UnchangedArchiveComesFromTheCache) {
  TempDir dir;
  WriteFile(dir.Join("work/m.png"), Text(700));
  RunIn(dir.Join("work"), "zip -q -X ../pics.zip m.png");
  std::filesystem::remove_all(dir.Join("work"));
  const std::string archive = dir.Join("pics.zip");

  CImageLister first(false, false);
  first.Scan({dir.path()});
  ASSERT_EQ(Paths(first, dir.path()), (std::vector<std::string>{"pics.zip|/m.png"}));

  // Same size and time, but no longer a ZIP archive: only a scan that does not read it again
  // still finds the member.
  const auto time = std::filesystem::last_write_time(archive);
  const auto size = std::filesystem::file_size(archive);
  WriteFile(archive, std::string(size, 'x'));
  std::filesystem::last_write_time(archive, time);
  CImageLister second(false, false);
  second.SetArchiveCache(first.archive_cache());
  second.Scan({dir.path()});
  EXPECT_EQ(Paths(second, dir.path()), (std::vector<std::string>{"pics.zip|/m.png"}));

  // A new time makes the scan read it, and it no longer opens.
  std::filesystem::last_write_time(archive, time + std::chrono::seconds(5));
  CImageLister third(false, false);
  third.SetArchiveCache(second.archive_cache());
  third.Scan({dir.path()});
  EXPECT_TRUE(third.Files().empty());
  EXPECT_TRUE(third.archive_cache().empty());
}

TEST(FileListerTest, DeletedArchiveLeavesTheCache) {
  TempDir dir;
  WriteFile(dir.Join("work/m.png"), Text(100));
  RunIn(dir.Join("work"), "zip -q -X ../a.zip m.png && zip -q -X ../b.zip m.png");
  std::filesystem::remove_all(dir.Join("work"));
  CImageLister first(false, false);
  first.Scan({dir.path()});
  ASSERT_EQ(first.archive_cache().size(), 2u);
  std::filesystem::remove(dir.Join("a.zip"));
  CImageLister second(false, false);
  second.SetArchiveCache(first.archive_cache());
  second.Scan({dir.path()});
  EXPECT_EQ(Paths(second, dir.path()), (std::vector<std::string>{"b.zip|/m.png"}));
  ASSERT_EQ(second.archive_cache().size(), 1u);
  EXPECT_EQ(second.archive_cache().begin()->first, dir.Join("b.zip"));
}

TEST(FileListerTest, MissingFolderIsSkipped) {
  TempDir dir;
  WriteFile(dir.Join("a.png"), std::string("x"));
  CImageLister lister(true, false);
  lister.Scan({dir.Join("nowhere"), dir.path() + "/"});
  EXPECT_EQ(Paths(lister, dir.path()), (std::vector<std::string>{"a.png"}));
}

}  // namespace
