// Server-side time to build one /view page (the complete response, everything but the sending)
// in a catalogue of 100 000 images in 1 000 folders, without a word and with a two-token word,
// against the target of 20 ms per page. The images are real empty files, since the page checks
// that each shown file still exists.
//
// Usage: view_page_bench [WORK_FOLDER]   (default: a fresh folder under /tmp, removed after)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/http1_writer.h"
#include "server/pages/image_thumbnail_process.h"

namespace {

constexpr int kRepeats = 21;
constexpr double kTargetMs = 20.0;

}  // namespace

int main(int argc, char** argv) {
  const bool own_folder = argc < 2;
  const std::filesystem::path root =
      own_folder ? std::filesystem::temp_directory_path() /
                       ("lv_view_bench_" +
                        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))
                 : std::filesystem::path(argv[1]);
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess files(budget);
  MySystem::CThreadMgr pool(1);
  ImageCatalogue catalogue(&pool, files);
  catalogue.orders().BuildOrders(BenchGallery(root, true));
  const ServerSettings settings;
  const std::vector<UserAccount> context;

  struct Case {
    const char* label;
    const char* target;
  } cases[] = {
      {"name order page 0, no word", "/view?page=T-1-N-0"},
      {"date order page 0, no word", "/view?page=T-1-D-0"},
      {"name order last page, no word", "/view?page=T-1-N-999"},
      {"folder order page 0, no word", "/view?page=T-1-PN-0"},
      // "album05" narrows to ten folders, "photo" keeps all of their images: 1 000 matches.
      {"name order page 0, two-token word", "/view?page=T-1-N-0&word=album05+photo"},
  };
  bool all_met = true;
  for (const Case& c : cases) {
    s_request request;
    request.parse(c.target);
    std::vector<double> times;
    size_t bytes = 0;
    for (int r = 0; r < kRepeats; ++r) {
      const double start = NowMs();
      const std::optional<Response> response = ThumbnailPageResponse(
          settings, catalogue, files, context, request, "NONCE0123456789abcdefg==");
      times.push_back(NowMs() - start);
      bytes = response ? Http1Message(*response).bytes.size() : 0;
    }
    const double median = Median(times);
    all_met = all_met && median < kTargetMs;
    std::printf("/view %-34s median %7.3f ms  max %7.3f ms  (%zu bytes)  target < %.0f ms\n",
                c.label, median, *std::max_element(times.begin(), times.end()), bytes, kTargetMs);
  }
  std::printf("%s\n", all_met ? "all under target" : "TARGET MISSED");
  if (own_folder) std::filesystem::remove_all(root);
  return 0;
}
