// Page and image keys come straight from the `page` query parameter.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/catalogue/page_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  PageKey page;
  if (ParsePageKey(text, &page)) {
    // A parsed key written back parses to the same order and number.
    PageKey again;
    if (!ParsePageKey(MakePageKey(page.list_field, page.order, page.page), &again) ||
        again.order != page.order || again.page != page.page) {
      __builtin_trap();
    }
  }
  ImageKey image;
  if (ParseImageKey(text, &image)) {
    ImageKey again;
    if (!ParseImageKey(MakeImageKey(image.list_field, image.order, image.position), &again) ||
        again.order != image.order || again.position != image.position) {
      __builtin_trap();
    }
  }
  ReadKeyNumber(text);
  return 0;
}
