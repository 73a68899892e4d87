// Input: the bytes of an archive file. Open reads its directory and every member (the first
// 64) is extracted: false is fine, a crash is not.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "server/catalogue/zip_archive.h"

namespace {

const std::string& ArchivePath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("lv-zip-fuzz-" + std::to_string(std::random_device()()) + ".zip"))
          .string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream file(ArchivePath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ZipArchive archive;
  if (archive.Open(ArchivePath())) {
    static ReadBudget budget(ReadBudget::kReadBytesInFlight);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < archive.records().size() && i < 64; ++i) {
      archive.Extract(i, budget, &out);
    }
  }
  std::filesystem::remove(ArchivePath());
  return 0;
}
