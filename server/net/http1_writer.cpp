#include "server/net/http1_writer.h"

namespace {

constexpr std::string_view kVersion = "HTTP/1.1 ";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSeparator = ": ";

}  // namespace

s_message Http1Message(Response response) {
  const std::string_view body = response.body_bytes();
  size_t size = kVersion.size() + response.status().size() + 2 * kLineEnd.size() + body.size();
  for (size_t i = 0; i < response.header_count(); ++i) {
    size += response.header_name(i).size() + kSeparator.size() + response.header_value(i).size() +
            kLineEnd.size();
  }
  s_message message;
  std::string& bytes = message.bytes;
  bytes.reserve(size);
  bytes.append(kVersion).append(response.status()).append(kLineEnd);
  for (size_t i = 0; i < response.header_count(); ++i) {
    bytes.append(response.header_name(i))
        .append(kSeparator)
        .append(response.header_value(i))
        .append(kLineEnd);
  }
  bytes.append(kLineEnd).append(body);
  message.body = response.shared_body();
  message.file = response.file();
  return message;
}
