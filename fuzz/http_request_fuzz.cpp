// Raw request bytes: framing, the request line and target, header lookup and the Digest header
// parser, which all see input straight from the network.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/net/digest_process.h"
#include "server/net/request.h"
#include "server/net/request_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string raw(reinterpret_cast<const char*>(data), size);
  size_t request_size = 0;
  if (CheckRequestFraming(raw, &request_size) == FramingState::kComplete &&
      request_size > raw.size()) {
    __builtin_trap();
  }
  HttpRequest request;
  if (request.Parse(raw)) {
    std::string value;
    DigestFields fields;
    if (request.Header("Authorization", &value)) ParseDigestFields(value, &fields);
    if (request.Body().size() > raw.size()) __builtin_trap();
    // The text form of a parsed target parses back to the same request.
    s_request again;
    if (!request.target.params.empty() &&
        (!again.parse(request.target.to_text()) || again.params != request.target.params)) {
      __builtin_trap();
    }
  }
  DigestFields fields;
  ParseDigestFields(raw, &fields);
  return 0;
}
