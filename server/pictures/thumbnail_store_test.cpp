#include "server/pictures/thumbnail_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "server/catalogue/read_limits.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/testing/test_pictures.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "lv_thumbs_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Join(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void SetTime(const std::string& path, int64_t seconds, int64_t nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::vector<uint8_t> FreshReduction(std::string_view type, std::vector<uint8_t> bytes) {
  std::string_view reduced_type;
  EXPECT_TRUE(ReduceImage(type, kThumbnail, &bytes, &reduced_type));
  return bytes;
}

// The thumbnail's bytes; its type is checked where it matters.
bool FindThumbnail(ThumbnailStore& store, const std::string& path, std::string_view type,
                   Thumbnail* out) {
  ReducedPicture reduced;
  if (!store.Find(path, type, kThumbnail, &reduced)) return false;
  *out = reduced.bytes;
  return true;
}

std::vector<std::string> EntryFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().string());
  return files;
}

class ThumbnailStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    jpeg_ = JpegFile(NoisePicture(640, 480));
    png_ = PngFile(NoisePicture(300, 200));
    WriteBytes(pictures_.Join("photo.jpg"), jpeg_);
    WriteBytes(pictures_.Join("drawing.png"), png_);
  }
  std::string Folder() const { return cache_.Join("thumbnails"); }

  ScratchFolder pictures_;
  ScratchFolder cache_;
  TestFileAccess access_;
  std::vector<uint8_t> jpeg_;
  std::vector<uint8_t> png_;
};

TEST_F(ThumbnailStoreTest, ThumbnailsAreFreshReductionsKeptAcrossRestarts) {
  struct Case {
    std::string name;
    std::string_view type;
    const std::vector<uint8_t>* file;
  };
  const Case cases[] = {{"photo.jpg", "image/jpeg", &jpeg_}, {"drawing.png", "image/png", &png_}};
  {
    ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                         ThumbnailStore::kDiskBytes);
    for (const Case& c : cases) {
      Thumbnail first, again;
      ASSERT_TRUE(FindThumbnail(store, pictures_.Join(c.name), c.type, &first)) << c.name;
      EXPECT_EQ(*first, FreshReduction(c.type, *c.file)) << c.name;
      ASSERT_TRUE(FindThumbnail(store, pictures_.Join(c.name), c.type, &again));
      EXPECT_EQ(again, first);  // the same bytes, from memory
    }
    EXPECT_EQ(store.Reductions(), 2u);
    EXPECT_TRUE(store.UsesDisk());
  }
  ThumbnailStore restarted(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                           ThumbnailStore::kDiskBytes);
  for (const Case& c : cases) {
    Thumbnail thumbnail;
    EXPECT_TRUE(restarted.Has(pictures_.Join(c.name), c.type, kThumbnail));
    ASSERT_TRUE(FindThumbnail(restarted, pictures_.Join(c.name), c.type, &thumbnail)) << c.name;
    EXPECT_EQ(*thumbnail, FreshReduction(c.type, *c.file)) << c.name;
  }
  EXPECT_EQ(restarted.Reductions(), 0u);
}

// Each rendition of a picture is an entry of its own, and its type (JPEG without
// transparency, PNG with it) is kept with it across a restart.
TEST_F(ThumbnailStoreTest, RenditionsAreEntriesOfTheirOwnWithTheirTypes) {
  const Rgba clear = {0, 0, 0, 0}, red = {255, 0, 0, 255};
  WriteBytes(pictures_.Join("big.png"), PngFile(NoisePicture(1700, 1000)));
  WriteBytes(pictures_.Join("clear.png"),
             PngFile(QuadrantPicture(1700, 1000, 4, {clear, red, red, red})));
  struct Case {
    const char* name;
    Rendition rendition;
    int width;
    std::string_view type;
  };
  const Case cases[] = {
      {"big.png", kThumbnail, 150, "image/jpeg"},
      {"big.png", {1080, 82}, 1080, "image/jpeg"},
      {"clear.png", {1600, 82}, 1600, "image/png"},
  };
  for (int run = 0; run < 2; ++run) {  // made, then read from disk after a restart
    ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                         ThumbnailStore::kDiskBytes);
    for (const Case& c : cases) {
      ReducedPicture reduced;
      ASSERT_TRUE(store.Find(pictures_.Join(c.name), "image/png", c.rendition, &reduced));
      EXPECT_EQ(reduced.content_type, c.type) << c.name << " " << c.width;
      const DecodedFile out = DecodeFile(*reduced.bytes);
      EXPECT_EQ(out.width, c.width) << c.name;
    }
    EXPECT_EQ(store.Reductions(), run == 0 ? 3u : 0u);
  }
}

// The same size and the same second, only the nanoseconds differ: still a new picture.
TEST_F(ThumbnailStoreTest, PictureRewrittenWithinTheSameSecondGetsANewThumbnail) {
  const std::string path = pictures_.Join("drawing.png");
  std::vector<uint8_t> other = PngFile(QuadrantPicture(
      300, 200, 4, {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {9, 9, 9, 255}}}));
  // Trailing bytes after the end of a PNG are ignored by decoders: pad to one size.
  std::vector<uint8_t> first = png_;
  const size_t size = std::max(first.size(), other.size());
  first.resize(size);
  other.resize(size);
  WriteBytes(path, first);
  SetTime(path, 1700000000, 100);
  ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  Thumbnail thumbnail;
  ASSERT_TRUE(FindThumbnail(store, path, "image/png", &thumbnail));
  EXPECT_EQ(*thumbnail, FreshReduction("image/png", first));

  WriteBytes(path, other);
  SetTime(path, 1700000000, 200);
  EXPECT_FALSE(store.Has(path, "image/png", kThumbnail));
  ASSERT_TRUE(FindThumbnail(store, path, "image/png", &thumbnail));
  EXPECT_EQ(*thumbnail, FreshReduction("image/png", other));
}

TEST_F(ThumbnailStoreTest, DamagedDiskEntriesAreMadeAgain) {
  const std::string path = pictures_.Join("photo.jpg");
  const std::vector<uint8_t> expected = FreshReduction("image/jpeg", jpeg_);
  struct Case {
    const char* what;
    void (*damage)(const std::string& file);
  };
  const Case cases[] = {
      {"cut short",
       [](const std::string& file) { fs::resize_file(file, fs::file_size(file) / 2); }},
      {"a byte flipped",
       [](const std::string& file) {
         std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
         f.seekp(-10, std::ios::end);
         f.put('\x5a');
       }},
      {"empty", [](const std::string& file) { fs::resize_file(file, 0); }},
      {"garbage header",
       [](const std::string& file) {
         std::ofstream(file, std::ios::binary) << "LVTHUMB2 99x 1 J\n";
       }},
  };
  for (const Case& c : cases) {
    fs::remove_all(Folder());
    {
      ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                           ThumbnailStore::kDiskBytes);
      Thumbnail thumbnail;
      ASSERT_TRUE(FindThumbnail(store, path, "image/jpeg", &thumbnail));
    }
    const std::vector<std::string> files = EntryFiles(Folder());
    ASSERT_EQ(files.size(), 1u);
    c.damage(files[0]);
    ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                         ThumbnailStore::kDiskBytes);
    Thumbnail thumbnail;
    ASSERT_TRUE(FindThumbnail(store, path, "image/jpeg", &thumbnail)) << c.what;
    EXPECT_EQ(*thumbnail, expected) << c.what;
    EXPECT_EQ(store.Reductions(), 1u) << c.what;
    // Written anew: the next start finds it sound.
    ThumbnailStore next(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                        ThumbnailStore::kDiskBytes);
    ASSERT_TRUE(FindThumbnail(next, path, "image/jpeg", &thumbnail));
    EXPECT_EQ(next.Reductions(), 0u) << c.what;
  }
}

TEST_F(ThumbnailStoreTest, UnusableFolderStillServesFromMemorySayingSoOnce) {
  const std::string blocked = cache_.Join("a-file");
  WriteBytes(blocked, {1, 2, 3});
  testing::internal::CaptureStderr();
  ThumbnailStore store(access_.files, blocked + "/thumbnails", ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  Thumbnail first, second;
  ASSERT_TRUE(FindThumbnail(store, pictures_.Join("photo.jpg"), "image/jpeg", &first));
  ASSERT_TRUE(FindThumbnail(store, pictures_.Join("drawing.png"), "image/png", &second));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(store.UsesDisk());
  EXPECT_EQ(*first, FreshReduction("image/jpeg", jpeg_));
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(blocked), std::string::npos) << said;
}

TEST_F(ThumbnailStoreTest, PicturesSentAsStoredAndMissingFiles) {
  WriteBytes(pictures_.Join("narrow.jpg"), JpegFile(NoisePicture(120, 90)));
  WriteBytes(pictures_.Join("broken.jpg"), {0xFF, 0xD8, 0xFF, 0x00});
  WriteBytes(pictures_.Join("moving.gif"), {'G', 'I', 'F'});
  ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  Thumbnail thumbnail;
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(FindThumbnail(store, pictures_.Join("narrow.jpg"), "image/jpeg", &thumbnail));
    EXPECT_FALSE(FindThumbnail(store, pictures_.Join("broken.jpg"), "image/jpeg", &thumbnail));
    EXPECT_FALSE(FindThumbnail(store, pictures_.Join("moving.gif"), "image/gif", &thumbnail));
    EXPECT_FALSE(FindThumbnail(store, pictures_.Join("missing.jpg"), "image/jpeg", &thumbnail));
  }
  EXPECT_EQ(thumbnail, nullptr);
  EXPECT_EQ(store.Reductions(), 2u);  // the outcome "as stored" is kept too
  EXPECT_TRUE(store.Has(pictures_.Join("narrow.jpg"), "image/jpeg", kThumbnail));
  EXPECT_FALSE(store.Has(pictures_.Join("missing.jpg"), "image/jpeg", kThumbnail));
}

// A picture that cannot be read (here: larger than any read) is not read again while its
// version stays the same; a new version is tried at once.
TEST_F(ThumbnailStoreTest, AFailedReadIsRememberedForTheVersion) {
  const std::string huge = pictures_.Join("huge.jpg");
  WriteBytes(huge, {});
  fs::resize_file(huge, kMaxFileBytes + 1);  // sparse
  ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  Thumbnail thumbnail;
  EXPECT_FALSE(store.Has(huge, "image/jpeg", kThumbnail));
  EXPECT_FALSE(FindThumbnail(store, huge, "image/jpeg", &thumbnail));
  EXPECT_TRUE(store.Has(huge, "image/jpeg", kThumbnail));
  EXPECT_FALSE(FindThumbnail(store, huge, "image/jpeg", &thumbnail));
  WriteBytes(huge, jpeg_);
  EXPECT_FALSE(store.Has(huge, "image/jpeg", kThumbnail));
  EXPECT_TRUE(FindThumbnail(store, huge, "image/jpeg", &thumbnail));
}

TEST_F(ThumbnailStoreTest, ConcurrentRequestsForOneMissingThumbnailReduceItOnce) {
  WriteBytes(pictures_.Join("big.jpg"), JpegFile(NoisePicture(3000, 2000)));
  ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                       ThumbnailStore::kDiskBytes);
  constexpr int kRequests = 6;
  std::vector<Thumbnail> thumbnails(kRequests);
  std::vector<std::thread> requests;
  for (int i = 0; i < kRequests; ++i) {
    requests.emplace_back([&, i] {
      EXPECT_TRUE(FindThumbnail(store, pictures_.Join("big.jpg"), "image/jpeg", &thumbnails[i]));
    });
  }
  for (std::thread& request : requests) request.join();
  EXPECT_EQ(store.Reductions(), 1u);
  for (const Thumbnail& thumbnail : thumbnails) EXPECT_EQ(thumbnail, thumbnails[0]);
}

TEST_F(ThumbnailStoreTest, MemoryAndDiskStayUnderTheirBounds) {
  constexpr size_t kMemory = 48 * 1024;
  constexpr uint64_t kDisk = 80 * 1024;
  const std::vector<uint8_t> file = PngFile(QuadrantPicture(
      200, 100, 4, {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {9, 9, 9, 255}}}));
  ThumbnailStore store(access_.files, Folder(), kMemory, kDisk);
  for (int i = 0; i < 1000; ++i) {
    const std::string path = pictures_.Join(std::to_string(i) + ".png");
    WriteBytes(path, file);
    Thumbnail thumbnail;
    ASSERT_TRUE(FindThumbnail(store, path, "image/png", &thumbnail)) << i;
    ASSERT_LE(store.MemoryBytes(), kMemory) << i;
    ASSERT_LE(store.DiskBytes(), kDisk) << i;
  }
  uint64_t on_disk = 0;
  for (const std::string& entry : EntryFiles(Folder())) on_disk += fs::file_size(entry);
  EXPECT_LE(on_disk, kDisk);
  EXPECT_GT(on_disk, kDisk / 2);  // pruned to most of the bound, not emptied
  EXPECT_EQ(store.DiskBytes(), on_disk);
  // The most recent thumbnails are still at hand.
  EXPECT_TRUE(store.Has(pictures_.Join("999.png"), "image/png", kThumbnail));
}

// Prunes delete outside the store's lock while other requests read, write and make entries
// again; whatever the interleaving, the count must end equal to what the folder holds.
TEST_F(ThumbnailStoreTest, DiskCountStaysExactWhilePrunesRunBesideRequests) {
  constexpr int kPictures = 60;
  const std::vector<uint8_t> file = PngFile(QuadrantPicture(
      200, 100, 4, {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {9, 9, 9, 255}}}));
  for (int i = 0; i < kPictures; ++i) WriteBytes(pictures_.Join(std::to_string(i) + ".png"), file);
  uint64_t entry_bytes = 0;
  {
    ThumbnailStore probe(access_.files, cache_.Join("probe"), ThumbnailStore::kMemoryBytes,
                         ThumbnailStore::kDiskBytes);
    Thumbnail thumbnail;
    ASSERT_TRUE(FindThumbnail(probe, pictures_.Join("0.png"), "image/png", &thumbnail));
    entry_bytes = probe.DiskBytes();
  }
  // Memory for a few entries, so most look-ups go to the disk; disk for a third of them.
  const uint64_t disk = entry_bytes * kPictures / 3;
  ThumbnailStore store(access_.files, Folder(), static_cast<size_t>(entry_bytes * 4), disk);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // Each thread walks all pictures from its own start, so they meet on the same entries.
      for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kPictures; ++i) {
          const int picture = (i + t * kPictures / 4) % kPictures;
          Thumbnail thumbnail;
          if (!FindThumbnail(store, pictures_.Join(std::to_string(picture) + ".png"), "image/png",
                             &thumbnail)) {
            ++failures;
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  uint64_t on_disk = 0;
  for (const std::string& entry : EntryFiles(Folder())) on_disk += fs::file_size(entry);
  EXPECT_EQ(store.DiskBytes(), on_disk);
  EXPECT_LE(on_disk, disk);
}

// A prune counts what an earlier run left, and removes the temporary files a stopped writer
// left long ago, but not one that may still be written.
TEST_F(ThumbnailStoreTest, PruneCountsEarlierEntriesAndRemovesOnlyOldTemporaries) {
  uint64_t left = 0;
  const std::vector<uint8_t> file = PngFile(QuadrantPicture(
      200, 100, 4, {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {9, 9, 9, 255}}}));
  for (int i = 0; i < 40; ++i) WriteBytes(pictures_.Join(std::to_string(i) + ".png"), file);
  {
    ThumbnailStore earlier(access_.files, Folder(), ThumbnailStore::kMemoryBytes,
                           ThumbnailStore::kDiskBytes);
    for (int i = 0; i < 40; ++i) {
      Thumbnail thumbnail;
      ASSERT_TRUE(FindThumbnail(earlier, pictures_.Join(std::to_string(i) + ".png"), "image/png",
                                &thumbnail));
    }
    left = earlier.DiskBytes();
  }
  const std::string old_temporary = Folder() + "/1-1.tmp";
  const std::string new_temporary = Folder() + "/1-2.tmp";
  WriteBytes(old_temporary, {1, 2, 3});
  WriteBytes(new_temporary, {1, 2, 3});
  SetTime(old_temporary, ::time(nullptr) - 3600, 0);

  // The next run's bound is half of what this one left.
  ThumbnailStore store(access_.files, Folder(), ThumbnailStore::kMemoryBytes, left / 2);
  ASSERT_TRUE(store.PrepareFolder());
  uint64_t on_disk = 0;
  for (const std::string& entry : EntryFiles(Folder())) {
    if (entry.ends_with(".thumb")) on_disk += fs::file_size(entry);
  }
  EXPECT_EQ(store.DiskBytes(), on_disk);
  EXPECT_LE(on_disk, left / 2);
  EXPECT_GT(on_disk, left / 4);
  EXPECT_FALSE(fs::exists(old_temporary));
  EXPECT_TRUE(fs::exists(new_temporary));
}

}  // namespace
