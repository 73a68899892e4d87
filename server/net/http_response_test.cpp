#include "server/net/http_response.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpResponseTest, KeepsTheOrderOfItsLines) {
  EXPECT_EQ(HttpResponse("200 OK")
                .NoCache()
                .ContentLength(5)
                .Close()
                .SecurityPolicy("abc+/==")
                .Header("Content-Type", "text/html")
                .Finish("hello"),
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: 5\r\n"
            "Connection: Close\r\n"
            "Content-Security-Policy: script-src 'self' 'nonce-abc+/=='\r\n"
            "Content-Type: text/html\r\n"
            "\r\n"
            "hello");
  EXPECT_EQ(HttpResponse("103").Header("link", "</a>; rel=preload").Finish(),
            "HTTP/1.1 103\r\nlink: </a>; rel=preload\r\n\r\n");
  // A body may hold any byte, zeros included.
  const std::string binary("\0\xFF\r\n", 4);
  EXPECT_EQ(HttpResponse("200 OK").ContentLength(binary.size()).Finish(binary),
            "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n" + binary);
}

}  // namespace
