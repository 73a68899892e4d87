#include "server/net/request_framing.h"

#include <gtest/gtest.h>

#include "server/net/http_headers.h"

namespace {

TEST(RequestFramingTest, CompletionTable) {
  struct Case {
    std::string received;
    FramingState state;
    size_t size;  // checked when complete
  };
  const std::string big_header = "GET / HTTP/1.1\r\nX: " + std::string(kMaxHeaderBlockBytes, 'a');
  const Case cases[] = {
      {"GET / HTTP/1.1\r\nHost: a\r\n", FramingState::kIncomplete, 0},
      {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", FramingState::kComplete, 27},
      {"GET / HTTP/1.1\r\n\r\nextra", FramingState::kComplete, 18},
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", FramingState::kIncomplete, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", FramingState::kComplete, 41},
      {"POST / HTTP/1.1\r\ncontent-LENGTH:3 \r\n\r\nabcdef", FramingState::kComplete, 41},
      {"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", FramingState::kComplete, 38},
      {"POST / HTTP/1.1\r\nContent-Length: \r\n\r\n", FramingState::kBadLength, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", FramingState::kBadLength, 0},
      {"POST / HTTP/1.1\r\nContent-Length: +1\r\n\r\n", FramingState::kBadLength, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 536870913\r\n\r\n", FramingState::kBodyTooLarge, 0},
      {"POST / HTTP/1.1\r\nContent-Length: 18446744073709551617\r\n\r\n", FramingState::kBadLength,
       0},
      // A body that mentions the header is not a header.
      {"POST / HTTP/1.1\r\nContent-Length: 18\r\n\r\nContent-Length: 99", FramingState::kComplete,
       57},
      // The word in the target is not a header either.
      {"GET /view?word=Content-Length:5 HTTP/1.1\r\n\r\n", FramingState::kComplete, 44},
      // Lines ending in a bare LF frame like CR LF ones.
      {"GET / HTTP/1.1\nHost: a\n", FramingState::kIncomplete, 0},
      {"GET / HTTP/1.1\nHost: a\n\n", FramingState::kComplete, 24},
      {"POST / HTTP/1.1\nContent-Length: 2\n\nabc", FramingState::kComplete, 37},
      {"GET / HTTP/1.1\r\nHost: a\n\r\n", FramingState::kComplete, 26},
      {"GET / HTTP/1.1\r\nHost: a\r\n\nX", FramingState::kComplete, 26},
      {big_header, FramingState::kHeaderTooLarge, 0},
      {big_header + "\r\n\r\n", FramingState::kHeaderTooLarge, 0},
  };
  for (const Case& c : cases) {
    size_t size = 0;
    EXPECT_EQ(CheckRequestFraming(c.received, &size), c.state) << c.received.substr(0, 80);
    if (c.state == FramingState::kComplete) {
      EXPECT_EQ(size, c.size) << c.received.substr(0, 80);
    }
  }
}

TEST(HttpHeadersTest, FindsHeadersByNameOnlyInTheHeaderBlock) {
  const std::string raw =
      "GET /view?word=Authorization:x HTTP/1.1\r\n"
      "Host: a\r\n"
      "authorization:   Digest username=\"u\"  \r\n"
      "Authorization: second\r\n"
      "\r\n"
      "If-None-Match: body\r\n";
  std::string value;
  ASSERT_TRUE(FindHeaderValue(raw, "Authorization", &value));
  EXPECT_EQ(value, "Digest username=\"u\"");
  EXPECT_EQ(CountHeaders(raw, "AUTHORIZATION"), 2);
  EXPECT_FALSE(FindHeaderValue(raw, "If-None-Match", &value));
  EXPECT_FALSE(FindHeaderValue(raw, "Hos", &value));

  const std::string bare_lf = "GET / HTTP/1.1\nHost: a\nAuthorization: b \n\nX: body\n";
  ASSERT_TRUE(FindHeaderValue(bare_lf, "Authorization", &value));
  EXPECT_EQ(value, "b");
  EXPECT_FALSE(FindHeaderValue(bare_lf, "X", &value));
}

}  // namespace
