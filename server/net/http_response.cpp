#include "server/net/http_response.h"

HttpResponse::HttpResponse(std::string_view status) {
  bytes_.reserve(256);
  bytes_.append("HTTP/1.1 ").append(status).append("\r\n");
}

HttpResponse& HttpResponse::Header(std::string_view name, std::string_view value) {
  bytes_.append(name).append(": ").append(value).append("\r\n");
  return *this;
}

HttpResponse& HttpResponse::ContentLength(size_t length) {
  return Header("Content-Length", std::to_string(length));
}

HttpResponse& HttpResponse::SecurityPolicy(std::string_view nonce) {
  bytes_.append("Content-Security-Policy: script-src 'self' 'nonce-").append(nonce).append("'\r\n");
  return *this;
}

HttpResponse& HttpResponse::NoCache() {
  return Header("Cache-Control", "max-age=0").Header("Expires", "Wed, 24 Jan 1990 06:53:29 GMT");
}

HttpResponse& HttpResponse::Close() {
  return Header("Connection", "Close");
}

std::string HttpResponse::Finish(std::string_view body) {
  bytes_.reserve(bytes_.size() + 2 + body.size());
  bytes_.append("\r\n").append(body);
  return std::move(bytes_);
}
