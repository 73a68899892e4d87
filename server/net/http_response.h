// Builds one HTTP response (response.h): the status, the header lines in the order they are
// added, and the body. Each answer's header order is part of what clients see, so the builder
// never reorders them; its only lines of its own end every final answer (not an interim one):
// "X-Content-Type-Options: nosniff", so that no browser takes a picture or a JSON answer for
// a page or a script, and "X-Frame-Options: SAMEORIGIN", so that no page of another site
// shows the gallery inside its own to steer a visitor's clicks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "server/net/response.h"

class HttpResponse {
 public:
  // `status` is the code and its reason as written after "HTTP/1.1 " ("200 OK", "103").
  explicit HttpResponse(std::string_view status) : response_(status) {}

  // "name: value".
  HttpResponse& Header(std::string_view name, std::string_view value);
  // "Content-Length: " + the decimal length.
  HttpResponse& ContentLength(size_t length);
  // The policy that admits our own scripts and the inline scripts that carry `nonce`.
  HttpResponse& SecurityPolicy(std::string_view nonce);
  // The two lines that make the browser revalidate every time.
  HttpResponse& NoCache();
  // "Connection: Close": every connection carries one request.
  HttpResponse& Close();

  // The header block ends; the response with `body`. The builder is spent afterwards.
  Response Finish(std::string body = {});
  // REQUIRES: `body` lives as long as the program (a built-in resource): it is not copied.
  Response FinishStatic(std::string_view body);
  // The body is shared with its other holders; null is an empty body.
  Response Finish(SharedBody body);
  // The body is sent from the open file.
  Response Finish(std::shared_ptr<const platform::OpenFile> file);

 private:
  // Adds the closing lines of a final answer.
  void Seal();

  Response response_;
};
