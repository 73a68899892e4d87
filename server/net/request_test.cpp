#include "server/net/request.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTest, TargetParsingTable) {
  struct Case {
    std::string target;
    bool ok;
    std::string path;
    std::map<std::string, std::string> params;
  };
  const Case cases[] = {
      {"/view?page=T-1-D-0", true, "/view", {{"page", "T-1-D-0"}}},
      {"/view?page", true, "/view", {{"page", ""}}},
      {"/view?page=", true, "/view", {{"page", ""}}},
      {"/view?a=1&a=2", true, "/view", {{"a", "2"}}},
      {"/view?word=%E7%8C%AB&page=T-1-N-0",
       true,
       "/view",
       {{"page", "T-1-N-0"}, {"word", "%E7%8C%AB"}}},
      {"/image?page=1-N-0&shrink=1", true, "/image", {{"page", "1-N-0"}, {"shrink", "1"}}},
      {"/VIEW", true, "/VIEW", {}},
      {"/", true, "/", {}},
      {"/view?", true, "/view", {}},
      {"/view?a=1=2", false, "", {}},
      {"/a=b", false, "", {}},
      {"/a&b", false, "", {}},
      {"/view?a?b", false, "", {}},
      {"/view?a=1&&b=2", false, "", {}},
      {"/view?a&b=1", false, "", {}},
  };
  for (const Case& c : cases) {
    s_request request;
    EXPECT_EQ(request.parse(c.target), c.ok) << c.target;
    EXPECT_EQ(request.path, c.path) << c.target;
    EXPECT_EQ(request.params, c.params) << c.target;
  }
}

TEST(RequestTest, EditingAndTextForm) {
  s_request request;
  ASSERT_TRUE(request.parse("/view?word=cat&page=T-1-N-2"));
  EXPECT_EQ(request.to_text(), "/view?page=T-1-N-2&word=cat");
  request.set("page", "T-1-D-0");
  request.set("a", "x y");
  EXPECT_EQ(request.to_text(), "/view?a=x y&page=T-1-D-0&word=cat");
  EXPECT_TRUE(request.remove("word"));
  EXPECT_FALSE(request.remove("word"));
  EXPECT_EQ(request.keys(), (std::vector<std::string>{"a", "page"}));
  request.params.clear();
  EXPECT_EQ(request.to_text(), "/view");
}

TEST(RequestTest, WholeRequestParsedOnce) {
  struct Case {
    std::string raw;
    bool ok;
    std::string method, path, body;
  };
  const Case cases[] = {
      {"GET /view?page=T-1-N-0 HTTP/1.1\r\nHost: x\r\n\r\n", true, "GET", "/view", ""},
      {"POST /upload.php HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", true, "POST", "/upload.php",
       "abc"},
      {"GET /image\r\n\r\n", true, "GET", "/image",
       ""},  // no protocol: the target runs to the line end
      {"GET  /x HTTP/1.1\r\n\r\n", true, "GET", "", ""},  // an empty token is the target
      {std::string("GET /a\0b HTTP/1.1\r\n\r\n", 21), true, "GET", "/a", ""},  // up to a zero byte
      {"GET /image\nHost: x\n\nbody", true, "GET", "/image", "body"},          // bare LF lines
      {"GET /image HTTP/1.1\r\nHost: x\n\nbody", true, "GET", "/image", "body"},
      {"GET\r\n\r\n", false, "", "", ""},
      {"/a=b", false, "", "", ""},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    EXPECT_EQ(request.Parse(c.raw), c.ok) << c.raw;
    if (!c.ok) continue;
    EXPECT_EQ(request.method, c.method) << c.raw;
    EXPECT_EQ(request.target.path, c.path) << c.raw;
    EXPECT_EQ(request.target_text.substr(0, c.path.size()), c.path) << c.raw;
    EXPECT_EQ(request.Body(), c.body) << c.raw;
    EXPECT_EQ(request.bytes, c.raw);
  }
}

TEST(RequestTest, HeadersAndParameters) {
  const std::string raw =
      "GET /view?page=T-1-N-0&word=a HTTP/1.1\r\nIF-MODIFIED-SINCE:  Wed \r\n"
      "If-Modified-Since: later\r\n\r\nAuthorization: in the body\r\n";
  HttpRequest request;
  ASSERT_TRUE(request.Parse(raw));
  std::string value;
  ASSERT_TRUE(request.Header("If-Modified-Since", &value));
  EXPECT_EQ(value, "Wed");
  EXPECT_FALSE(request.Header("Authorization", &value));
  EXPECT_EQ(request.target.Param("page"), "T-1-N-0");
  EXPECT_EQ(request.target.Param("word"), "a");
  EXPECT_EQ(request.target.Param("shrink"), "");
}

}  // namespace
