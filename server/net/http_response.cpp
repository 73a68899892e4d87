#include "server/net/http_response.h"

#include <charconv>

HttpResponse& HttpResponse::Header(std::string_view name, std::string_view value) {
  response_.AddHeader(name, value);
  return *this;
}

HttpResponse& HttpResponse::ContentLength(size_t length) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, length).ptr;
  return Header("Content-Length", std::string_view(digits, static_cast<size_t>(end - digits)));
}

HttpResponse& HttpResponse::SecurityPolicy(std::string_view nonce) {
  response_.AddHeader("Content-Security-Policy", {"script-src 'self' 'nonce-", nonce, "'"});
  return *this;
}

HttpResponse& HttpResponse::NoCache() {
  return Header("Cache-Control", "max-age=0").Header("Expires", "Wed, 24 Jan 1990 06:53:29 GMT");
}

HttpResponse& HttpResponse::Close() {
  return Header("Connection", "Close");
}

void HttpResponse::Seal() {
  if (response_.interim()) return;
  response_.AddHeader("X-Content-Type-Options", "nosniff");
  response_.AddHeader("X-Frame-Options", "SAMEORIGIN");
}

Response HttpResponse::Finish(std::string body) {
  Seal();
  response_.SetBody(std::move(body));
  return std::move(response_);
}

Response HttpResponse::FinishStatic(std::string_view body) {
  Seal();
  response_.SetStaticBody(body);
  return std::move(response_);
}

Response HttpResponse::Finish(SharedBody body) {
  Seal();
  response_.SetBody(std::move(body));
  return std::move(response_);
}

Response HttpResponse::Finish(std::shared_ptr<const platform::OpenFile> file) {
  Seal();
  response_.SetBody(std::move(file));
  return std::move(response_);
}
