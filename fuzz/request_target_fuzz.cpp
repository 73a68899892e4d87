// A request target straight into the target parser, and the nonce field of a Digest header
// straight into the nonce check: both take bytes a client chose.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/net/digest_nonce.h"
#include "server/net/request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string target(reinterpret_cast<const char*>(data), size);
  s_request request;
  if (request.parse(target)) {
    // The text form of a parsed target parses back to the same request.
    s_request again;
    if (!again.parse(request.to_text()) || again.params != request.params ||
        again.path != request.path) {
      __builtin_trap();
    }
  } else if (!request.path.empty() || !request.params.empty()) {
    __builtin_trap();
  }
  static DigestNonces nonces(60000, 16);
  if (nonces.Record(target, 1, 0) != DigestNonces::Use::kStale) __builtin_trap();
  return 0;
}
