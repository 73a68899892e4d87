#include "bench/support/bench_gallery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "server/catalogue/list_positions.h"

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::vector<ImageEntry> BenchGallery(const std::filesystem::path& root, bool write_files) {
  std::vector<ImageEntry> list;
  list.reserve(kBenchFolders * kBenchImagesPerFolder);
  char name[96];
  for (int f = 0; f < kBenchFolders; ++f) {
    std::snprintf(name, sizeof name, "album%04d", f);
    const std::filesystem::path folder = root / name;
    if (write_files) std::filesystem::create_directories(folder);
    for (int i = 0; i < kBenchImagesPerFolder; ++i) {
      std::snprintf(name, sizeof name, "photo %03d_%d.jpg", i, f % 7);
      if (write_files) std::ofstream(folder / name).flush();
      ImageEntry e;
      e.path = SharedPath((folder / name).string());
      e.lastWriteTime = int64_t{(f * 7919 + i * 104729) % 1000003} * 10000000;
      e.size = 3000000;
      list.push_back(e);
    }
  }
  PositionList(&list, false);
  return list;
}
