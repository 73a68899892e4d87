// Raw request bytes: framing, header lookup, target parsing and the Digest header parser,
// which all see input straight from the network.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/net/digest_process.h"
#include "server/net/http_headers.h"
#include "server/net/request.h"
#include "server/net/request_framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string raw(reinterpret_cast<const char*>(data), size);
  size_t request_size = 0;
  if (CheckRequestFraming(raw, &request_size) == FramingState::kComplete &&
      request_size > raw.size()) {
    __builtin_trap();
  }
  std::string value;
  if (FindHeaderValue(raw, "Authorization", &value)) ParseDigestFields(value);
  s_request request;
  std::string target = raw.substr(0, raw.find(' '));
  if (request.parse(target)) {
    // The text form of a parsed target parses back to the same request.
    s_request again;
    if (!request.params.empty() && (!again.parse(request.to_text()) ||
                                    again.params != request.params)) {
      __builtin_trap();
    }
  }
  ParseDigestFields(raw);
  return 0;
}
