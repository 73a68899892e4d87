#include "server/net/http_response.h"

#include <gtest/gtest.h>

#include "server/net/http1_writer.h"

namespace {

TEST(HttpResponseTest, KeepsTheOrderOfItsLines) {
  EXPECT_EQ(Http1Message(HttpResponse("200 OK")
                             .NoCache()
                             .ContentLength(5)
                             .Close()
                             .SecurityPolicy("abc+/==")
                             .Header("Content-Type", "text/html")
                             .Finish("hello"))
                .bytes,
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: 5\r\n"
            "Connection: Close\r\n"
            "Content-Security-Policy: script-src 'self' 'nonce-abc+/=='\r\n"
            "Content-Type: text/html\r\n"
            "X-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n"
            "\r\n"
            "hello");
  EXPECT_EQ(Http1Message(HttpResponse("103").Header("link", "</a>; rel=preload").Finish()).bytes,
            "HTTP/1.1 103\r\nlink: </a>; rel=preload\r\n\r\n");
  // A body may hold any byte, zeros included.
  const std::string binary("\0\xFF\r\n", 4);
  EXPECT_EQ(Http1Message(HttpResponse("200 OK").ContentLength(binary.size()).Finish(binary)).bytes,
            "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nX-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\n" +
                binary);
}

// A transport other than HTTP/1.1 reads the same answer by its parts.
TEST(HttpResponseTest, KeepsStatusLinesAndBodyApart) {
  auto shared = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{'a', 'b'});
  Response response =
      HttpResponse("304 Not modified").Header("ETag", "\"x\"").Close().Finish(shared);
  EXPECT_EQ(response.status(), "304 Not modified");
  // The builder's own closing lines follow those added.
  ASSERT_EQ(response.header_count(), 4u);
  EXPECT_EQ(response.header_name(0), "ETag");
  EXPECT_EQ(response.header_value(0), "\"x\"");
  EXPECT_EQ(response.header_name(1), "Connection");
  EXPECT_EQ(response.header_value(1), "Close");
  EXPECT_EQ(response.header_name(3), "X-Frame-Options");
  EXPECT_EQ(response.body_size(), 2u);
  // The shared body goes out as it is, never copied into the header bytes.
  s_message message = Http1Message(response);
  EXPECT_EQ(message.bytes,
            "HTTP/1.1 304 Not modified\r\nETag: \"x\"\r\nConnection: Close\r\n"
            "X-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n");
  EXPECT_EQ(message.body.get(), shared.get());
}

}  // namespace
