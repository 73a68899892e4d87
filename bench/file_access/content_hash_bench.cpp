// What a like's content hash costs: FileContentHash, which reads the file in pieces, beside
// its anchor, the file read whole (ReadAll past the cache) and hashed in one call, as likes
// were hashed before. Both give the same digest; the figures are the time per hash and the
// peak resident memory after each (the pieces first, so the whole read cannot hide in it).
//
//   content_hash_bench FILE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/config/md5_hex.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/omni_file_access.h"

namespace {

// VmHWM of this process in MiB.
double PeakResidentMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

template <typename Hash>
double Milliseconds(Hash hash, std::string* digest) {
  const auto start = std::chrono::steady_clock::now();
  *digest = hash();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: content_hash_bench FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess files(budget);
  std::string pieces, whole;
  const double before = PeakResidentMiB();
  const double pieces_ms = Milliseconds([&] { return FileContentHash(files, path); }, &pieces);
  const double pieces_peak = PeakResidentMiB();
  const double whole_ms = Milliseconds(
      [&] {
        std::vector<uint8_t> bytes;
        if (!files.ReadAll(0, path, &bytes)) return std::string();
        return MD5Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      },
      &whole);
  const double whole_peak = PeakResidentMiB();
  std::printf(
      "content hash of a %.0f MiB file in pieces: %.0f ms, peak %.0f MiB   anchor, read whole: "
      "%.0f ms, peak %.0f MiB   (%.0f MiB before)\n",
      static_cast<double>(files.GetSize(path)) / (1 << 20), pieces_ms, pieces_peak, whole_ms,
      whole_peak, before);
  if (pieces.empty() || pieces != whole) {
    std::printf("THE DIGESTS DIFFER\n");
    return 1;
  }
  return 0;
}
