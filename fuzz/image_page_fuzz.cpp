// The image page is built from whatever request target a client sends. Whatever it holds, the
// page keeps to its own six script elements and no quote, angle bracket or backslash from the
// request reaches a link.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "server/catalogue/list_positions.h"
#include "server/net/http1_writer.h"
#include "server/pages/image_page_process.h"

namespace {

const OrderedLists& Orders() {
  static const OrderedLists* orders = [] {
    std::vector<ImageEntry> list;
    for (int i = 0; i < 12; ++i) {
      ImageEntry e;
      e.path =
          SharedPath("/p/" + std::string(i < 6 ? "x" : "y") + "/img" + std::to_string(i) + ".jpg");
      e.lastWriteTime = (i * 5) % 12;
      list.push_back(e);
    }
    PositionList(&list, false);
    auto* lists = new OrderedLists;
    lists->BuildOrders(list);
    lists->SetLikes({list[3], list[7]});
    return lists;
  }();
  return *orders;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  s_request request;
  if (!request.parse(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  ServerSettings settings;
  settings.show_fullpath = size % 2;
  ImagePage page;
  if (!MakeImagePage(settings, Orders(), request, "NONCE0123456789abcdefg==", size * 7919u,
                     &page)) {
    return 0;
  }
  const std::string response = Http1Message(page.response).bytes;
  const std::string body = response.substr(response.find("\r\n\r\n") + 4);
  if (body.empty() || Count(body, "<script") != 6 || Count(body, "</script>") != 6 ||
      Count(body, "\\") != 0 || page.preread_paths.size() > 5) {
    __builtin_trap();
  }
  return 0;
}
