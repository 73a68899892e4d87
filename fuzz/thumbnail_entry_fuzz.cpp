// Input: the bytes of one entry file of the thumbnail store, read for the key "key". A
// damaged file must be refused, never crash; an accepted body lies inside the file.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/pictures/thumbnail_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  std::string_view reduced_type, body;
  if (ParseThumbnailEntry(file, "key", &reduced_type, &body)) {
    if (body.data() < file.data() || body.data() + body.size() > file.data() + file.size() ||
        (reduced_type.empty() && !body.empty())) {
      std::abort();
    }
  }
  return 0;
}
