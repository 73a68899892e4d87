// Builds the bytes of one HTTP response: the status line, the header lines in the order they
// are added, the blank line and the body. Each answer's header order is part of what clients
// see, so the builder never reorders or adds a line of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class HttpResponse {
 public:
  // `status` is the code and its reason as written after "HTTP/1.1 " ("200 OK", "103").
  explicit HttpResponse(std::string_view status);

  // "name: value\r\n".
  HttpResponse& Header(std::string_view name, std::string_view value);
  // "Content-Length: " + the decimal length.
  HttpResponse& ContentLength(size_t length);
  // The policy that admits our own scripts and the inline scripts that carry `nonce`.
  HttpResponse& SecurityPolicy(std::string_view nonce);
  // The two lines that make the browser revalidate every time.
  HttpResponse& NoCache();
  // "Connection: Close": every connection carries one request.
  HttpResponse& Close();

  // The blank line that ends the header block, then `body`: the complete response. The
  // builder is spent afterwards.
  std::string Finish(std::string_view body = {});

 private:
  std::string bytes_;
};
