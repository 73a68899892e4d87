// Catalogue figures on a generated gallery of 100 000 images in 1 000 folders (empty files): the
// first scan beside `find` over the same tree, the list build that follows it, a rescan of the
// unchanged tree with its list update, FilteredView with a new word, a repeated word and none,
// a picture looked up by its id (the first lookup in a list, and again), the resident memory that
// holds it all, and that memory after ten unchanged rescans. The process sets its allocator up as
// the server does, and gives back what the gallery maker and the timed scans freed before the
// catalogue starts, so the memory figures are the catalogue's, with the allocator's live bytes
// beside them.
//
// Usage: catalogue_bench [WORK_FOLDER]   (default: a fresh folder under /tmp, removed after)
#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "platform/free_memory.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/picture_id.h"

namespace {

constexpr int kRepeats = 5;
constexpr int kUnchangedRescans = 10;

// Resident set size of this process in MiB, from /proc/self/status.
double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return -1;
}

// Bytes the allocator has handed out and not had back, in MiB.
double LiveHeapMiB() {
  return static_cast<double>(mallinfo2().uordblks) / (1 << 20);
}

double FindMs(const std::filesystem::path& pics) {
  const std::string command = "find '" + pics.string() + "' -type f -printf '%s %T@\\n' >/dev/null";
  const double start = NowMs();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "find failed\n");
  return NowMs() - start;
}

// The longest time one UpdateList call kept the loop thread.
double loop_ms = 0;

bool TimedUpdate(ImageCatalogue* catalogue) {
  const double start = NowMs();
  const bool replaced = catalogue->UpdateList(true);
  loop_ms = std::max(loop_ms, NowMs() - start);
  return replaced;
}

// Runs the list updates until the one that takes a finished comparison; returns whether it
// replaced the list.
bool UpdateUntilCompared(ImageCatalogue* catalogue) {
  TimedUpdate(catalogue);
  catalogue->WaitForIdle();
  return TimedUpdate(catalogue);
}

}  // namespace

int main(int argc, char** argv) {
  platform::LimitRetainedMemory();
  const bool own_folder = argc < 2;
  std::filesystem::path root = own_folder ? std::filesystem::temp_directory_path() /
                                                ("lv-catalogue-bench-" + std::to_string(::getpid()))
                                          : std::filesystem::path(argv[1]);
  std::filesystem::create_directories(root);
  BenchGallery(root / "pics", true);
  const std::filesystem::path pics = root / "pics";

  // Warm the file system caches, then alternate find and scan so both see the same state.
  FindMs(pics);
  std::vector<double> find_ms, scan_ms;
  for (int r = 0; r < kRepeats; ++r) {
    find_ms.push_back(FindMs(pics));
    FolderTree tree(SIZE_MAX);
    std::vector<ImageEntry> pictures;
    ArchiveCache archives;
    const double start = NowMs();
    tree.Refresh({pics.string()}, ListingOptions{true, false}, true, nullptr, 0);
    tree.Form(&pictures, &archives);
    scan_ms.push_back(NowMs() - start);
    if (pictures.size() != size_t{kBenchFolders} * kBenchImagesPerFolder) {
      std::fprintf(stderr, "scan found %zu images\n", pictures.size());
      return 1;
    }
  }

  platform::ReturnFreeMemory();
  const double rss_empty = ResidentMiB();
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess files(budget);
  MySystem::CThreadMgr pool(MySystem::ServerThreadCount());
  ImageCatalogue catalogue(&pool, files);
  catalogue.SetFolders({pics.string()});
  catalogue.SetRecursive(true);
  double start = NowMs();
  catalogue.Rescan();
  catalogue.WaitForIdle();
  const double first_scan_ms = NowMs() - start;
  start = NowMs();
  const bool first_replaced = UpdateUntilCompared(&catalogue);
  const double first_list_ms = NowMs() - start;

  start = NowMs();
  catalogue.Rescan();
  catalogue.WaitForIdle();
  const double rescan_ms = NowMs() - start;
  start = NowMs();
  const bool rescan_replaced = UpdateUntilCompared(&catalogue);
  const double rescan_update_ms = NowMs() - start;

  // Memory across unchanged rescans: the first list against the tenth.
  catalogue.WaitForIdle();  // the comparison job's last steps
  const double rss_first_list = ResidentMiB();
  for (int r = 0; r < kUnchangedRescans - 1; ++r) {
    catalogue.Rescan();
    catalogue.WaitForIdle();
    UpdateUntilCompared(&catalogue);
  }
  catalogue.WaitForIdle();
  const double rss_rescanned = ResidentMiB();
  const double live_rescanned = LiveHeapMiB();

  // The catalogue keeps the last few searches: the uncached figure searches a word it has not
  // seen yet every time, the cached one repeats a word.
  std::vector<double> uncached_ms, cached_ms, empty_ms;
  uint32_t word_count = 0;
  auto timed_view = [&](const std::string& word, std::vector<double>* times) {
    const double t = NowMs();
    FilteredView view = catalogue.orders().View(ListOrder::Name, word);
    const uint32_t count = view.Count();
    ImageEntry entry;
    for (uint32_t i = 0; i < 100; ++i) view.Get(i, &entry);
    times->push_back(NowMs() - t);
    return count;
  };
  for (int r = 0; r < kRepeats * 4; ++r) {
    char word[32];
    std::snprintf(word, sizeof word, "album%02d _%d", r % 10, 3 + r / 10);
    word_count = timed_view(word, &uncached_ms);
    timed_view("album04 _3", &cached_ms);
    timed_view("", &empty_ms);
  }
  // A like or a shared link names its picture by id: the first lookup in a list hashes every
  // path of it (beside the uncached search, which also walks every path once); later ones
  // look it up.
  const std::string id = PictureId(catalogue.orders().Current()->At(ListOrder::Name, 54321).path);
  ImageEntry named;
  start = NowMs();
  const bool id_found = catalogue.orders().FindPicture(id, &named) && named.namePos == 54321;
  const double first_id_ms = NowMs() - start;
  std::vector<double> id_ms;
  for (int r = 0; r < kRepeats * 4; ++r) {
    const double t = NowMs();
    catalogue.orders().FindPicture(id, &named);
    id_ms.push_back(NowMs() - t);
  }
  const double rss = ResidentMiB();

  std::printf("catalogue: %d images in %d folders\n", kBenchFolders * kBenchImagesPerFolder,
              kBenchFolders);
  std::printf(
      "  full scan           %8.1f ms   find -printf %8.1f ms   ratio %.2f (target <= 1.5)\n",
      Median(scan_ms), Median(find_ms), Median(scan_ms) / Median(find_ms));
  std::printf("  first Rescan        %8.1f ms   (scan job on the pool)\n", first_scan_ms);
  std::printf("  first UpdateList    %8.1f ms   (compare, position, orders; replaced=%d)\n",
              first_list_ms, first_replaced);
  std::printf("  rescan unchanged    %8.1f ms   + UpdateList %.1f ms (replaced=%d; report)\n",
              rescan_ms, rescan_update_ms, rescan_replaced);
  std::printf("  longest UpdateList  %8.2f ms   (time one call kept the loop thread)\n", loop_ms);
  std::printf("  FilteredView word   %8.2f ms   (uncached: Count %u + 100 Get; target < 20 ms)\n",
              Median(uncached_ms), word_count);
  std::printf("  FilteredView cached %8.3f ms   (the same word again: Count + 100 Get)\n",
              Median(cached_ms));
  std::printf("  FilteredView empty  %8.3f ms   (Count + 100 Get; target < 1 ms)\n",
              Median(empty_ms));
  std::printf(
      "  FindPicture first   %8.2f ms   (hashes every path; found=%d; the uncached word "
      "above walks them too)\n",
      first_id_ms, id_found);
  std::printf("  FindPicture again   %8.4f ms   (the same list)\n", Median(id_ms));
  std::printf(
      "  resident memory     %8.1f MiB  (%.1f MiB before the catalogue; target < 120 MiB)\n", rss,
      rss_empty);
  std::printf(
      "  after %d rescans    %8.1f MiB  (%.1f MiB after the first list; target < 60 MiB, no "
      "growth)\n",
      kUnchangedRescans, rss_rescanned, rss_first_list);
  std::printf("  live heap           %8.1f MiB  (allocated and not freed, after the rescans)\n",
              live_rescanned);
  if (own_folder) std::filesystem::remove_all(root);
  return 0;
}
