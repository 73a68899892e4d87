// The thumbnail page and the slide show page are built from whatever request target a client
// sends. Whatever it holds, each page keeps to its own script elements, its attribute quotes
// stay paired, and its Content-Length is the body's length.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/catalogue/list_positions.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/http1_writer.h"
#include "server/pages/image_thumbnail_process.h"
#include "server/pages/slide_show_process.h"

namespace {

std::filesystem::path& GalleryFolder() {
  static std::filesystem::path folder;
  return folder;
}

void RemoveGallery() {
  std::filesystem::remove_all(GalleryFolder());
}

// The file access the pages ask whether a picture is still there; made once, never freed,
// like the catalogue.
COmniFileAccess& Files() {
  static COmniFileAccess* files =
      new COmniFileAccess(*new ReadBudget(ReadBudget::kReadBytesInFlight));
  return *files;
}

// Twelve real files in two folders, since the thumbnail page shows only files that exist.
ImageCatalogue& Catalogue() {
  static ImageCatalogue* catalogue = [] {
    GalleryFolder() =
        std::filesystem::temp_directory_path() / ("lv_fuzz_gallery_" + std::to_string(getpid()));
    std::atexit(RemoveGallery);
    std::vector<ImageEntry> list;
    for (int i = 0; i < 12; ++i) {
      const std::filesystem::path path =
          GalleryFolder() / (i < 6 ? "x" : "y") / ("img" + std::to_string(i) + ".jpg");
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path).flush();
      ImageEntry e;
      e.path = SharedPath(path.string());
      e.lastWriteTime = (i * 5) % 12;
      list.push_back(e);
    }
    PositionList(&list, false);
    auto* made = new ImageCatalogue(new MySystem::CThreadMgr(1), Files());
    made->orders().BuildOrders(list);
    made->orders().SetLikes({list[3], list[7]});
    return made;
  }();
  return *catalogue;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// The response is well formed and its body holds exactly `scripts` script elements and an
// even number of `quote` characters.
void Check(const std::string& response, size_t scripts, char quote) {
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) __builtin_trap();
  const std::string body = response.substr(end + 4);
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (Count(response.substr(0, end + 2), length) != 1 || Count(body, "<script") != scripts ||
      Count(body, "</script>") != scripts || Count(body, std::string(1, quote)) % 2 != 0) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  s_request request;
  if (!request.parse(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  ServerSettings settings;
  settings.open_new_tab = size % 2;
  settings.open_name_thumbnail_folder = (size / 2) % 2;
  settings.need_user = (size / 4) % 2;
  const std::vector<UserAccount> context = {{"u", "h", static_cast<int32_t>((size / 8) % 2), {}}};
  settings.users = context;

  const std::optional<Response> view = ThumbnailPageResponse(
      settings, Catalogue(), Files(), context, request, "NONCE0123456789abcdefg==");
  if (view) Check(Http1Message(*view).bytes, 4, '"');
  const std::string slideshow =
      Http1Message(SlideShowResponse(settings, request, "NONCE0123456789abcdefg==")).bytes;
  Check(slideshow, 5, '"');
  Check(slideshow, 5, '\'');
  return 0;
}
