#include "server/tls/plain_http_redirect.h"

#include "server/net/http_headers.h"

namespace {

constexpr char kBadRequest[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

// A host name, an IPv4 address or a bracketed IPv6 address, with an optional ":port".
bool IsHostText(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  for (char c : host) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letter && c != '.' && c != '-' && c != ':' && c != '[' && c != ']' && c != '_') {
      return false;
    }
  }
  return true;
}

// The request line's target when it is an origin-form path with nothing but printable ASCII;
// "" otherwise.
std::string_view TargetOf(std::string_view head) {
  size_t line_end = head.find_first_of("\r\n");
  std::string_view line = head.substr(0, line_end);
  size_t first_space = line.find(' ');
  if (first_space == std::string_view::npos) return {};
  size_t second_space = line.find(' ', first_space + 1);
  std::string_view target = line.substr(first_space + 1, second_space == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : second_space - first_space - 1);
  if (target.empty() || target.front() != '/') return {};
  for (char c : target) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return {};
  }
  return target;
}

}  // namespace

std::string PlainHttpRedirect(std::string_view head) {
  std::string host;
  std::string_view target = TargetOf(head);
  if (target.empty() || !FindHeaderValue(head, "Host", &host) || !IsHostText(host)) {
    return kBadRequest;
  }
  return "HTTP/1.1 301 Moved Permanently\r\nLocation: https://" + host + std::string(target) +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}
