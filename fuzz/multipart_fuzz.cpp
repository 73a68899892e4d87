// An upload's Content-Type value (the first line) and body (the rest): the boundary, the
// split into parts, and the names the parts' file names give, all straight from the network.
// The body is also read piece by piece, as it arrives, in pieces whose sizes come from its
// own bytes: the parts must be those of the whole body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/upload/testing/multipart_collector.h"
#include "server/upload/testing/multipart_split.h"
#include "server/upload/upload_names.h"

namespace {

bool Within(std::string_view inner, std::string_view outer) {
  return inner.empty() || (inner.data() >= outer.data() &&
                           inner.data() + inner.size() <= outer.data() + outer.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t line_end = input.find('\n');
  std::string_view content_type = input.substr(0, line_end);
  std::string_view body = line_end == std::string_view::npos ? "" : input.substr(line_end + 1);
  std::string_view boundary;
  if (!MultipartBoundary(content_type, &boundary)) return 0;
  std::vector<size_t> pieces;
  for (size_t i = 0; i < body.size() && i < 64; ++i) pieces.push_back(1 + (body[i] & 0x1F));
  if (ReadInPieces(boundary, body, pieces) != SplitWhole(boundary, body)) __builtin_trap();
  std::vector<MultipartPart> parts;
  if (SplitMultipart(body, boundary, &parts) == MultipartResult::kTooManyParts) return 0;
  if (parts.size() > kMaxMultipartParts) __builtin_trap();
  for (const MultipartPart& part : parts) {
    if (!Within(part.body, body) || !Within(part.file_name, body) ||
        !Within(part.content_type, body)) {
      __builtin_trap();
    }
    std::string base;
    if (ReadUploadBase(part.file_name, &base) != UploadNameKind::kNamed) continue;
    for (int n : {0, 1, 1000}) {
      std::string name = NumberedUploadName(base, n, "jpg");
      if (name.size() > 255 || name.find('/') != std::string::npos || name == "." || name == "..") {
        __builtin_trap();
      }
    }
  }
  return 0;
}
