#include "server/net/request_framing.h"

#include <string>

#include "server/net/http1_writer.h"
#include "server/net/http_headers.h"
#include "server/net/http_response.h"

namespace {

bool ParseLength(const std::string& text, size_t* length) {
  if (text.empty() || text.size() > 12) return false;
  size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  *length = value;
  return true;
}

}  // namespace

FramingState CheckRequestFraming(std::string_view received, size_t* request_size,
                                 size_t* header_size_out) {
  size_t header_size = HeaderBlockSize(received);
  if (header_size == std::string_view::npos) {
    return received.size() > kMaxHeaderBlockBytes ? FramingState::kHeaderTooLarge
                                                  : FramingState::kIncomplete;
  }
  if (header_size > kMaxHeaderBlockBytes) return FramingState::kHeaderTooLarge;
  if (header_size_out != nullptr) *header_size_out = header_size;
  std::string_view header_block = received.substr(0, header_size);

  size_t body_size = 0;
  std::string text;
  if (FindHeaderValue(header_block, "Content-Length", &text)) {
    if (!ParseLength(text, &body_size)) return FramingState::kBadLength;
    if (CountHeaders(header_block, "Content-Length") > 1) return FramingState::kBadLength;
    if (body_size > kMaxRequestBodyBytes) return FramingState::kBodyTooLarge;
  }
  *request_size = header_size + body_size;
  return received.size() < *request_size ? FramingState::kIncomplete : FramingState::kComplete;
}

std::string FramingErrorResponse(FramingState state) {
  std::string_view status;
  switch (state) {
    case FramingState::kHeaderTooLarge:
      status = "431 Request Header Fields Too Large";
      break;
    case FramingState::kBadLength:
      status = "400 Bad Request";
      break;
    case FramingState::kBodyTooLarge:
      status = "413 Content Too Large";
      break;
    default:
      return {};
  }
  return Http1Message(HttpResponse(status).ContentLength(0).Close().Finish()).bytes;
}

std::string ServiceUnavailableResponse() {
  return Http1Message(HttpResponse("503 Service Unavailable").ContentLength(0).Close().Finish())
      .bytes;
}
