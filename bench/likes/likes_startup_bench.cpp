// Start-up with likes: a gallery of 100 000 pictures in 1 000 folders (small files, each of
// its own content) and a hash list file holding a record for every one of them. Measures the
// time from the hash list load and the first scan's start until the Likes order holds all
// 100 000 pictures, beside the time the same start takes to publish the list without a hash
// list (the scan alone), and the longest list update call of either, which is what the
// server loop waits for.
//
// Usage: likes_startup_bench [WORK_FOLDER]   (default: a fresh folder under /tmp, removed after)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "common/config/md5_hex.h"
#include "server/catalogue/hash_list.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"

namespace {

constexpr int kRepeats = 3;
constexpr size_t kPictures = size_t{kBenchFolders} * kBenchImagesPerFolder;

// 600 to 2 599 bytes, different for every picture.
std::string PictureContent(size_t index) {
  std::string content = "picture " + std::to_string(index) + "\n";
  content.resize(600 + (index * 7919) % 2000, static_cast<char>('a' + index % 26));
  return content;
}

struct Timing {
  double ready_ms = 0;  // until the list (or the Likes order) is complete
  double longest_update_ms = 0;
};

// One server start as the loop runs it: load, scan, then list updates with a 1 ms pause,
// until `done` holds.
template <typename Done>
Timing Start(const std::filesystem::path& pics, const std::string& hash_file, Done done) {
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess files(budget);
  MySystem::CThreadMgr pool(4);
  ImageCatalogue catalogue(&pool, files);
  Timing timing;
  const double start = NowMs();
  catalogue.likes().Load(hash_file);
  catalogue.SetFolders({pics.string()});
  catalogue.SetRecursive(true);
  catalogue.Rescan();
  while (!done(catalogue)) {
    const double before = NowMs();
    catalogue.UpdateList(false);
    timing.longest_update_ms = std::max(timing.longest_update_ms, NowMs() - before);
    usleep(1000);
  }
  timing.ready_ms = NowMs() - start;
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  const bool own_folder = argc < 2;
  const std::filesystem::path root = own_folder
                                         ? std::filesystem::temp_directory_path() /
                                               ("lv-likes-bench-" + std::to_string(::getpid()))
                                         : std::filesystem::path(argv[1]);
  const std::filesystem::path pics = root / "pics";
  const std::string hash_file = (root / "hash.dat").string();

  // A work folder that holds the hash list file of an earlier run holds the gallery too: the
  // file is written last.
  if (!std::filesystem::exists(hash_file)) {
    HashList likes;
    const std::vector<ImageEntry> gallery = BenchGallery(pics, true);
    for (size_t i = 0; i < gallery.size(); ++i) {
      const std::string content = PictureContent(i);
      std::ofstream(gallery[i].path.c_str(), std::ios::binary) << content;
      likes.Insert(MD5Hex(content), LikeRecord{static_cast<int32_t>(i % 1000),
                                               static_cast<uint32_t>(content.size())});
    }
    SaveHashList(hash_file, likes);
  }

  const auto listed = [](const ImageCatalogue& c) { return c.CurrentList()->size() == kPictures; };
  const auto ranked = [](const ImageCatalogue& c) {
    return c.orders().Current()->Size(ListOrder::Likes) == kPictures;
  };
  Start(pics, "", listed);  // warms the file system caches
  std::vector<double> scan_ms, likes_ms;
  double scan_update_ms = 0, likes_update_ms = 0;
  for (int r = 0; r < kRepeats; ++r) {
    const Timing scan = Start(pics, "", listed);
    const Timing liked = Start(pics, hash_file, ranked);
    scan_ms.push_back(scan.ready_ms);
    likes_ms.push_back(liked.ready_ms);
    scan_update_ms = std::max(scan_update_ms, scan.longest_update_ms);
    likes_update_ms = std::max(likes_update_ms, liked.longest_update_ms);
  }

  std::printf(
      "start-up to the Likes order, 100 000 records: %8.0f ms median of %d "
      "(target < 2000 ms)\n",
      Median(likes_ms), kRepeats);
  std::printf("start-up to the list alone (the scan):        %8.0f ms median of %d\n",
              Median(scan_ms), kRepeats);
  std::printf("longest list update call with likes: %.1f ms, without: %.1f ms\n", likes_update_ms,
              scan_update_ms);
  if (own_folder) std::filesystem::remove_all(root);
  return 0;
}
