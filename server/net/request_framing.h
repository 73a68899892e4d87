// Decides when the bytes received on a connection form a whole request.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A header block longer than this is refused.
constexpr size_t kMaxHeaderBlockBytes = 64 * 1024;
// A request body longer than this is refused.
constexpr size_t kMaxRequestBodyBytes = 512u * 1024 * 1024;
// The requests whose bodies are arriving hold together at most this much; one that would
// pass it is answered 503 at once, so a few clients announcing large bodies cannot grow the
// process without bound.
constexpr size_t kMaxBufferedRequestBytes = 512u * 1024 * 1024;

enum class FramingState {
  kIncomplete,      // wait for more bytes
  kComplete,        // *request_size bytes form the request
  kHeaderTooLarge,  // answer 431
  kBadLength,       // answer 400: Content-Length not a plain decimal number, or conflicting
  kBodyTooLarge,    // answer 413
};

// A request is complete when its header block has ended with a blank line ("\r\n\r\n", or
// "\n\n" from a client that ends its lines in a bare LF) and, if it has a
// Content-Length header, that many body bytes have followed.
// While the body is still arriving (kIncomplete after the header block), *request_size is
// the size the whole request will have; before that it is left as it is. `header_size`, when
// given, receives the header block's size once the block is whole.
FramingState CheckRequestFraming(std::string_view received, size_t* request_size,
                                 size_t* header_size = nullptr);

// The answer the socket server sends for a framing failure; empty for the other states.
std::string FramingErrorResponse(FramingState state);
// The answer to a request the server has no room for just now (503).
std::string ServiceUnavailableResponse();
