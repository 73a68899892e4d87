#include "server/net/request_gate.h"

#include <gtest/gtest.h>

#include <string>

#include "server/net/testing/response_capture.h"

namespace {

// The status line of the gate's answer to `raw`, "" when the request may go on.
std::string Gate(const std::string& raw) {
  HttpRequest request;
  EXPECT_TRUE(request.Parse(raw));
  std::optional<Response> refusal = GateRefusal(request);
  return refusal ? std::string(refusal->status()) : std::string();
}

TEST(RequestGateTest, TargetsMethodsAndOrigins) {
  struct Case {
    std::string request;
    std::string expected;
  } cases[] = {
      {"GET /view?page=T-1-N-0 HTTP/1.1\r\nHost: a:1\r\n\r\n", ""},
      {"HEAD / HTTP/1.1\r\n\r\n", ""},
      {"GET /view?word=" + std::string(kMaxTargetBytes, 'a') + " HTTP/1.1\r\n\r\n",
       "414 URI Too Long"},
      {"PUT /x HTTP/1.1\r\n\r\n", "405 Method Not Allowed"},
      {"DELETE / HTTP/1.1\r\n\r\n", "405 Method Not Allowed"},
      {"get / HTTP/1.1\r\n\r\n", "405 Method Not Allowed"},
      // A program posts without either line.
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\n\r\n", ""},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nOrigin: http://a:1\r\n\r\n", ""},
      {"POST /upload.php HTTP/1.1\r\nHost: A:1\r\nOrigin: https://a:1\r\n\r\n", ""},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nOrigin: http://b:1\r\n\r\n", "403 Forbidden"},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nOrigin: http://a:2\r\n\r\n", "403 Forbidden"},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nOrigin: null\r\n\r\n", "403 Forbidden"},
      {"POST /upload.php HTTP/1.1\r\nOrigin: http://a:1\r\n\r\n", "403 Forbidden"},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nReferer: http://a:1/Uploader\r\n\r\n", ""},
      {"POST /upload.php HTTP/1.1\r\nHost: a:1\r\nReferer: http://evil/a:1/\r\n\r\n",
       "403 Forbidden"},
      // The Origin decides when both are there.
      {"POST / HTTP/1.1\r\nHost: a:1\r\nOrigin: http://b\r\nReferer: http://a:1/\r\n\r\n",
       "403 Forbidden"},
      // Only posts change anything; a foreign page's link to a picture is fine.
      {"GET /image HTTP/1.1\r\nHost: a:1\r\nReferer: http://b/\r\n\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Gate(c.request), c.expected) << c.request.substr(0, 80);
}

TEST(RequestGateTest, MethodRefusalNamesTheMethodsServed) {
  HttpRequest request;
  ASSERT_TRUE(request.Parse("OPTIONS * HTTP/1.1\r\n\r\n"));
  std::optional<Response> refusal = GateRefusal(request);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(Http1Text(*refusal),
            "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nAllow: GET, HEAD, POST\r\n"
            "Connection: Close\r\nX-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\n");
}

}  // namespace
