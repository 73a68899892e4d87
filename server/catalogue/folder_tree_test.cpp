#include "server/catalogue/folder_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <tuple>
#include <string>
#include <vector>

#include "server/catalogue/testing/test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::Quote;
using test_support::RunShell;
using test_support::TempDir;
using test_support::WriteFile;

constexpr ListingOptions kFlat{false, false};
constexpr ListingOptions kDeep{true, false};

// A tree's refresh and the list formed after it.
struct Listed {
  FolderTree::Pass pass;
  std::vector<ImageEntry> pictures;
  ArchiveCache archives;
};

Listed Refresh(FolderTree* tree, const std::vector<std::string>& roots, ListingOptions options,
               bool full = false) {
  Listed listed;
  listed.pass = tree->Refresh(roots, options, full, nullptr, 0);
  tree->Form(&listed.pictures, &listed.archives);
  return listed;
}

// What a fresh tree lists: a scan of every folder.
Listed FullScan(const std::vector<std::string>& roots, ListingOptions options) {
  FolderTree tree(SIZE_MAX);
  return Refresh(&tree, roots, options);
}

std::vector<std::string> Paths(const Listed& listed, const std::string& root) {
  std::vector<std::string> paths;
  for (const ImageEntry& e : listed.pictures) paths.emplace_back(e.path.substr(root.size() + 1));
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

TEST(FolderContentTest, ImageNameRule) {
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

TEST(FolderTreeTest, KeepsImagesAndArchiveMembers) {
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

  const Listed lister = FullScan({dir.path()}, kFlat);
  EXPECT_EQ(
      Sorted(Paths(lister, dir.path())),
      (std::vector<std::string>{"a.ZIP|/deep/a.gif", "a.ZIP|/in.png", "a.ZIP|/orig.png:orig",
                                "photo.JPG", "photo.jpeg-1", "photo.jpg_large", "photo.webp"}));
  for (const ImageEntry& e : lister.pictures) {
    if (e.path.view().ends_with("in.png")) {
      EXPECT_EQ(e.size, 500u);
    } else if (e.path.view().ends_with("photo.webp")) {
      EXPECT_EQ(e.size, 11u);
    }
  }
  ASSERT_EQ(lister.archives.size(), 1u);

  const Listed rejecting = FullScan({dir.path()}, ListingOptions{false, true});
  EXPECT_EQ(
      Sorted(Paths(rejecting, dir.path())),
      (std::vector<std::string>{"photo.JPG", "photo.jpeg-1", "photo.jpg_large", "photo.webp"}));
  EXPECT_TRUE(rejecting.archives.empty());
}

TEST(FolderTreeTest, SubfoldersOnlyWhenRecursiveEachAfterItsFolder) {
  TempDir dir;
  const std::string one = dir.Join("one"), two = dir.Join("two");
  for (const std::string& f :
       {one + "/1.jpg", one + "/s/2.jpg", one + "/s/t/3.jpg", two + "/4.jpg", two + "/u/5.jpg"}) {
    WriteFile(f, std::string("x"));
  }
  const Listed flat = FullScan({two, one}, kFlat);
  EXPECT_EQ(Paths(flat, dir.path()), (std::vector<std::string>{"two/4.jpg", "one/1.jpg"}));

  const Listed deep = FullScan({two, one}, kDeep);
  EXPECT_EQ(Paths(deep, dir.path()),
            (std::vector<std::string>{"two/4.jpg", "two/u/5.jpg", "one/1.jpg", "one/s/2.jpg",
                                      "one/s/t/3.jpg"}));
}

TEST(FolderTreeTest, SymbolicLinkLoopScannedOnce) {
  TempDir dir;
  WriteFile(dir.Join("top.jpg"), std::string("x"));
  WriteFile(dir.Join("a/in.jpg"), std::string("x"));
  std::filesystem::create_directory_symlink(dir.path(), dir.Join("a/back"));
  std::filesystem::create_directory_symlink(dir.Join("a"), dir.Join("again"));
  std::filesystem::create_symlink(dir.Join("missing"), dir.Join("dangling.jpg"));
  const Listed lister = FullScan({dir.path()}, kDeep);
  // Subfolders are taken by name: "a" before the link "again" to it.
  EXPECT_EQ(Paths(lister, dir.path()), (std::vector<std::string>{"top.jpg", "a/in.jpg"}));
}

TEST(FolderTreeTest, AFolderReachedTwiceTakesThePathReachedFirstBreadthFirst) {
  TempDir dir;
  WriteFile(dir.Join("z/deep/x/in.jpg"), std::string("x"));
  std::filesystem::create_directory_symlink(dir.Join("z/deep/x"), dir.Join("link"));
  EXPECT_EQ(Paths(FullScan({dir.path()}, kDeep), dir.path()),
            (std::vector<std::string>{"link/in.jpg"}));
  // Incrementally too, once the link is gone and comes back.
  FolderTree tree(SIZE_MAX);
  Refresh(&tree, {dir.path()}, kDeep);
  std::filesystem::remove(dir.Join("link"));
  EXPECT_EQ(Paths(Refresh(&tree, {dir.path()}, kDeep), dir.path()),
            (std::vector<std::string>{"z/deep/x/in.jpg"}));
  std::filesystem::create_directory_symlink(dir.Join("z/deep/x"), dir.Join("link"));
  EXPECT_EQ(Paths(Refresh(&tree, {dir.path()}, kDeep), dir.path()),
            (std::vector<std::string>{"link/in.jpg"}));
}

TEST(FolderTreeTest, UnchangedArchiveComesFromTheCache) {
  TempDir dir;
  WriteFile(dir.Join("work/m.png"), Text(700));
  RunIn(dir.Join("work"), "zip -q -X ../pics.zip m.png");
  std::filesystem::remove_all(dir.Join("work"));
  const std::string archive = dir.Join("pics.zip");

  FolderTree tree(SIZE_MAX);
  ASSERT_EQ(Paths(Refresh(&tree, {dir.path()}, kFlat), dir.path()),
            (std::vector<std::string>{"pics.zip|/m.png"}));

  // Same size and time, but no longer a ZIP archive: only a scan that does not read it again
  // still finds the member.
  const auto time = std::filesystem::last_write_time(archive);
  const auto size = std::filesystem::file_size(archive);
  WriteFile(archive, std::string(size, 'x'));
  std::filesystem::last_write_time(archive, time);
  const Listed second = Refresh(&tree, {dir.path()}, kFlat);
  EXPECT_EQ(second.pass.listed, 1u);  // its folder changed
  EXPECT_EQ(Paths(second, dir.path()), (std::vector<std::string>{"pics.zip|/m.png"}));

  // A new time makes the scan read it, and it no longer opens.
  std::filesystem::last_write_time(archive, time + std::chrono::seconds(5));
  const Listed third = Refresh(&tree, {dir.path()}, kFlat);
  EXPECT_TRUE(third.pictures.empty());
  EXPECT_TRUE(third.archives.empty());
}

TEST(FolderTreeTest, DeletedArchiveLeavesTheCache) {
  TempDir dir;
  WriteFile(dir.Join("work/m.png"), Text(100));
  RunIn(dir.Join("work"), "zip -q -X ../a.zip m.png && zip -q -X ../b.zip m.png");
  std::filesystem::remove_all(dir.Join("work"));
  FolderTree tree(SIZE_MAX);
  ASSERT_EQ(Refresh(&tree, {dir.path()}, kFlat).archives.size(), 2u);
  std::filesystem::remove(dir.Join("a.zip"));
  const Listed second = Refresh(&tree, {dir.path()}, kFlat);
  EXPECT_EQ(Paths(second, dir.path()), (std::vector<std::string>{"b.zip|/m.png"}));
  ASSERT_EQ(second.archives.size(), 1u);
  EXPECT_EQ(second.archives.begin()->first, dir.Join("b.zip"));
}

TEST(FolderTreeTest, MissingFolderIsSkipped) {
  TempDir dir;
  WriteFile(dir.Join("a.png"), std::string("x"));
  const Listed lister = FullScan({dir.Join("nowhere"), dir.path() + "/"}, kDeep);
  EXPECT_EQ(Paths(lister, dir.path()), (std::vector<std::string>{"a.png"}));
}

// The pictures as (path, time, size), in the order formed.
std::vector<std::tuple<std::string, int64_t, uint32_t>> Pictures(const Listed& listed) {
  std::vector<std::tuple<std::string, int64_t, uint32_t>> pictures;
  for (const ImageEntry& e : listed.pictures) pictures.emplace_back(e.path, e.lastWriteTime, e.size);
  return pictures;
}

// A tree of three folders with pictures, an archive and a folder outside it to move in.
class ChangedFoldersTest : public testing::Test {
 protected:
  ChangedFoldersTest() : root_(dir_.Join("root")) {
    for (const char* name : {"a/1.jpg", "a/2.jpg", "b/3.png", "b/deep/4.gif", "c/notes.txt"}) {
      WriteFile(Join(name), std::string("picture"));
    }
    WriteFile(dir_.Join("outside/5.jpg"), std::string("picture"));
    WriteFile(dir_.Join("outside/inner/6.jpg"), std::string("picture"));
    MakeArchive("c/pics.zip", "m.png");
  }

  std::string Join(const std::string& name) const { return root_ + "/" + name; }

  void MakeArchive(const std::string& name, const std::string& member) {
    const std::string work = dir_.Join("work");
    WriteFile(work + "/" + member, Text(300));
    RunIn(work, "rm -f ../archive.zip && zip -q -X ../archive.zip " + Quote(member));
    fs::remove_all(work);
    fs::rename(dir_.Join("archive.zip"), Join(name));
  }

  // Refreshes `tree_` and expects the list a full scan gives.
  uint32_t RefreshAndCompare() {
    const Listed listed = Refresh(&tree_, {root_}, kDeep);
    EXPECT_EQ(Pictures(listed), Pictures(FullScan({root_}, kDeep)));
    return listed.pass.listed;
  }

  TempDir dir_;
  const std::string root_;
  FolderTree tree_{SIZE_MAX};
};

TEST_F(ChangedFoldersTest, OnlyTheChangedFoldersAreListedAgain) {
  EXPECT_EQ(RefreshAndCompare(), 5u);  // root, a, b, b/deep, c
  EXPECT_EQ(tree_.FolderCount(), 5u);
  EXPECT_EQ(tree_.WatchCount(), 5u);
  struct Case {
    const char* change;  // run in the root folder
    uint32_t listed;     // folders listed again
  };
  const Case cases[] = {
      {"true", 0},
      {"echo new > a/7.jpg", 1},
      {"rm b/3.png", 1},
      {"touch -d '2001-02-03 04:05:06' a/1.jpg", 1},
      {"mv a/2.jpg a/renamed.jpg", 1},
      {"mv a/renamed.jpg b/deep/", 2},
      {"echo text > c/readme.txt", 1},  // listed, but no picture changed
      // A moved folder is listed under its new path, and its subfolders with it.
      {"mv ../outside moved_in", 3},  // root, moved_in, moved_in/inner
      {"mv moved_in/inner b/", 3},    // both parents and the folder
      {"mv b ../gone", 1},                // out of the tree
      {"ln -s .. a/loop && ln -s ../a c/link_to_a", 2},
      {"chmod 700 c", 2},  // the folder and its parent
      {"mv a/loop a/loop2", 1},
  };
  for (const Case& c : cases) {
    RunIn(root_, c.change);
    EXPECT_EQ(RefreshAndCompare(), c.listed) << c.change;
  }
  // An archive replaced by another of the same name.
  MakeArchive("c/pics.zip", "other.png");
  EXPECT_EQ(RefreshAndCompare(), 1u);
  const Listed listed = Refresh(&tree_, {root_}, kDeep);
  EXPECT_FALSE(listed.pass.changed);
  EXPECT_NE(std::find(Paths(listed, root_).begin(), Paths(listed, root_).end(),
                      "c/pics.zip|/other.png"),
            Paths(listed, root_).end());
  EXPECT_EQ(tree_.FolderCount(), tree_.WatchCount());
}

TEST_F(ChangedFoldersTest, NothingChangedFormsNoNewList) {
  RefreshAndCompare();
  const FolderTree::Pass pass = tree_.Refresh({root_}, kDeep, false, nullptr, 0);
  EXPECT_EQ(pass.listed, 0u);
  EXPECT_FALSE(pass.changed);
  EXPECT_FALSE(pass.full);
  // A full refresh lists everything and still finds nothing new.
  const FolderTree::Pass full = tree_.Refresh({root_}, kDeep, true, nullptr, 0);
  EXPECT_EQ(full.listed, 5u);
  EXPECT_FALSE(full.changed);
  EXPECT_TRUE(full.full);
  // Other options are another listing.
  EXPECT_TRUE(tree_.Refresh({root_}, kFlat, false, nullptr, 0).full);
}

// Where each picture's characters are: equal addresses are one block, shared.
std::map<std::string, const char*> PathBlocks(const Listed& listed) {
  std::map<std::string, const char*> blocks;
  for (const ImageEntry& e : listed.pictures) blocks.emplace(e.path, e.path.data());
  return blocks;
}

TEST_F(ChangedFoldersTest, ListsShareThePathsOfUnchangedFolders) {
  Listed before = Refresh(&tree_, {root_}, kDeep);
  // Formed again from the same listings, and from every folder listed again unchanged.
  EXPECT_EQ(PathBlocks(Refresh(&tree_, {root_}, kDeep)), PathBlocks(before));
  EXPECT_EQ(PathBlocks(Refresh(&tree_, {root_}, kDeep, true)), PathBlocks(before));
  struct Case {
    const char* change;     // run in the root folder
    const char* made_anew;  // what the paths made anew begin with, under the root; "" for none
  };
  const Case cases[] = {
      {"echo new > a/7.jpg", "a/"},  // every picture of the folder
      {"echo text > c/readme.txt", ""},  // listed again, but its pictures are the same
      {"touch -d '2001-02-03 04:05:06' b/3.png", "b/3.png"},  // not those of b/deep
      {"echo x > c/7.jpg", "c/7.jpg"},  // the unchanged archive's member keeps its path
  };
  for (const Case& c : cases) {
    RunIn(root_, c.change);
    // `before` keeps the blocks it holds alive, so a new block never reuses an address.
    const Listed after = Refresh(&tree_, {root_}, kDeep);
    const std::map<std::string, const char*> old_blocks = PathBlocks(before);
    for (const auto& [path, block] : PathBlocks(after)) {
      auto old = old_blocks.find(path);
      const bool made_anew = *c.made_anew != '\0' && path.starts_with(Join(c.made_anew));
      if (old == old_blocks.end()) {
        EXPECT_TRUE(made_anew) << c.change << ": " << path;
      } else {
        EXPECT_EQ(old->second != block, made_anew) << c.change << ": " << path;
      }
    }
    EXPECT_EQ(Pictures(after), Pictures(FullScan({root_}, kDeep))) << c.change;
    before = after;
  }
}

TEST_F(ChangedFoldersTest, FoldersBeyondTheWatchLimitAreListedEveryTime) {
  FolderTree limited(2);
  const std::vector<std::string> roots{root_};
  EXPECT_EQ(Refresh(&limited, roots, kDeep).pass.listed, 5u);
  EXPECT_EQ(limited.WatchCount(), 2u);
  EXPECT_EQ(Refresh(&limited, roots, kDeep).pass.listed, 3u);
  for (const char* change : {"echo new > b/deep/8.jpg", "rm a/1.jpg", "mkdir -p c/d/e && echo x > c/d/e/9.jpg"}) {
    RunIn(root_, change);
    const Listed listed = Refresh(&limited, roots, kDeep);
    EXPECT_EQ(Pictures(listed), Pictures(FullScan(roots, kDeep))) << change;
  }
}

TEST_F(ChangedFoldersTest, LostNoticesListEverything) {
  RefreshAndCompare();
  int queued = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  // More notices than the queue holds: the folder's new files, each created and closed.
  const std::string many = Join("a/many");
  fs::create_directory(many);
  ASSERT_EQ(Refresh(&tree_, {root_}, kDeep).pass.listed, 2u);
  for (int i = 0; i <= queued; ++i) std::ofstream(many + "/" + std::to_string(i) + ".txt");
  const Listed listed = Refresh(&tree_, {root_}, kDeep);
  EXPECT_TRUE(listed.pass.full);
  EXPECT_EQ(listed.pass.listed, 6u);
}

TEST(FolderTreeTest, RandomChangesGiveTheListOfAFullScan) {
  TempDir dir;
  const std::string root = dir.Join("root");
  const std::string outside = dir.Join("outside");
  fs::create_directories(root);
  fs::create_directories(outside);
  std::mt19937 random(20261210);
  const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  // The folders under the root, found afresh before each change.
  const auto folders = [&](const std::string& top) {
    std::vector<std::string> found{top};
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(top, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_directory() && !it->is_symlink()) found.push_back(it->path());
    }
    return found;
  };
  const auto files = [&](const std::string& top) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(top, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file() && !it->is_symlink()) found.push_back(it->path());
    }
    return found;
  };
  const char* names[] = {"a.jpg", "B.PNG", "c.gif", "d.txt", "e.webp", "f.zip"};
  FolderTree tree(SIZE_MAX);
  FolderTree limited(3);
  int counter = 0;
  for (int step = 0; step < 150; ++step) {
    const std::vector<std::string> here = folders(root);
    const std::vector<std::string> present = files(root);
    const std::string folder = here[pick(here.size())];
    const std::string name = std::to_string(++counter) + names[pick(std::size(names))];
    std::error_code error;
    switch (pick(9)) {
      case 0:
      case 1:
        WriteFile(folder + "/" + name, std::string(1 + pick(50), 'x'));
        break;
      case 2:
        if (!present.empty()) fs::remove(present[pick(present.size())], error);
        break;
      case 3:
        if (!present.empty()) {
          const std::string touched = present[pick(present.size())];
          fs::last_write_time(touched, fs::last_write_time(touched) + std::chrono::seconds(1 + pick(9)), error);
        }
        break;
      case 4:
        if (!present.empty()) {
          fs::rename(present[pick(present.size())], here[pick(here.size())] + "/" + name, error);
        }
        break;
      case 5:
        fs::create_directories(folder + "/sub" + std::to_string(counter));
        WriteFile(folder + "/sub" + std::to_string(counter) + "/" + name, std::string("x"));
        break;
      case 6:  // a folder moved out, or one from outside moved in
        if (here.size() > 1 && pick(2) == 0) {
          fs::rename(here[1 + pick(here.size() - 1)], outside + "/" + std::to_string(counter), error);
        } else {
          const std::vector<std::string> away = folders(outside);
          if (away.size() > 1) fs::rename(away[1 + pick(away.size() - 1)], folder + "/in" + std::to_string(counter), error);
        }
        break;
      case 7: {  // an archive written, or replaced
        const std::string work = dir.Join("work");
        WriteFile(work + "/m" + std::to_string(counter) + ".jpg", Text(100 + pick(100)));
        RunIn(work, "zip -q -X ../new.zip *.jpg && rm -r " + Quote(work));
        fs::rename(dir.Join("new.zip"), folder + "/" + (pick(2) ? "pics.zip" : name + ".zip"), error);
        break;
      }
      case 8:  // a link to a folder of the tree: up (a loop) or across
        fs::create_directory_symlink(here[pick(here.size())], folder + "/link" + std::to_string(counter), error);
        break;
    }
    const Listed full = FullScan({root}, kDeep);
    const Listed listed = Refresh(&tree, {root}, kDeep);
    ASSERT_EQ(Pictures(listed), Pictures(full)) << "step " << step;
    ASSERT_LE(listed.pass.listed, 3u + 2 * here.size()) << "step " << step;
    ASSERT_EQ(Pictures(Refresh(&limited, {root}, kDeep)), Pictures(full)) << "step " << step;
  }
}

}  // namespace
