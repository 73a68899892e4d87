#include "server/upload/testing/multipart_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<MultipartPart> Split(std::string_view body, std::string_view boundary = "XyZ",
                                 MultipartResult expected = MultipartResult::kSplit) {
  std::vector<MultipartPart> parts;
  EXPECT_EQ(SplitMultipart(body, boundary, &parts), expected);
  return parts;
}

TEST(MultipartBoundaryTest, FromTheContentType) {
  struct Case {
    const char* content_type;
    const char* boundary;  // nullptr: none
  } cases[] = {
      {"multipart/form-data; boundary=----WebKitFormBoundaryA1b2", "----WebKitFormBoundaryA1b2"},
      {"multipart/form-data; boundary=\"quoted; value\"", "quoted; value"},
      {"multipart/form-data;boundary=abc ; charset=utf-8", "abc"},
      {"multipart/form-data; Boundary=abc", "abc"},
      {"multipart/form-data; charset=x; boundary=abc", "abc"},
      {"multipart/form-data", nullptr},
      {"multipart/form-data; boundary=", nullptr},
      {"multipart/form-data; boundary=\"\"", nullptr},
      {"multipart/form-data; xboundary=abc", nullptr},
  };
  for (const Case& c : cases) {
    std::string_view boundary;
    EXPECT_EQ(MultipartBoundary(c.content_type, &boundary), c.boundary != nullptr)
        << c.content_type;
    if (c.boundary != nullptr) {
      EXPECT_EQ(boundary, c.boundary) << c.content_type;
    }
  }
  std::string_view boundary;
  EXPECT_FALSE(
      MultipartBoundary("multipart/form-data; boundary=" + std::string(201, 'b'), &boundary));
}

TEST(SplitMultipartTest, PartsAsABrowserSendsThem) {
  // Binary bodies holding line breaks, dashes and a near-delimiter.
  const std::string jpeg("\xFF\xD8\r\n--XyZW\r\n\0--\xFF\xD9", 16);
  const std::string body =
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"comment\"\r\n\r\n"
      "hello\r\n"
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"userfile\"; filename=\"a b.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n" +
      jpeg +
      "\r\n--XyZ\r\n"
      "content-type:  image/png \r\n"
      "CONTENT-DISPOSITION: form-data; filename=\"C:\\fakepath\\p.png\"; name=userfile\r\n\r\n"
      "\r\n"
      "\r\n--XyZ--\r\n";
  std::vector<MultipartPart> parts = Split(body);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].name, "comment");
  EXPECT_FALSE(parts[0].has_file_name);
  EXPECT_EQ(parts[0].content_type, "");
  EXPECT_EQ(parts[0].body, "hello");
  EXPECT_EQ(parts[1].name, "userfile");
  EXPECT_TRUE(parts[1].has_file_name);
  EXPECT_EQ(parts[1].file_name, "a b.jpg");
  EXPECT_EQ(parts[1].content_type, "image/jpeg");
  EXPECT_EQ(parts[1].body, jpeg);
  EXPECT_EQ(parts[2].name, "userfile");
  EXPECT_EQ(parts[2].file_name, "C:\\fakepath\\p.png");
  EXPECT_EQ(parts[2].content_type, "image/png");
  EXPECT_EQ(parts[2].body, "\r\n");
}

TEST(SplitMultipartTest, EdgesOfTheBody) {
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::string> bodies;  // of the parts found
  } cases[] = {
      {"preamble before the first delimiter",
       "preamble\r\n--XyZ\r\nA: 1\r\n\r\none\r\n--XyZ--",
       {"one"}},
      {"no closing delimiter: the open part is dropped",
       "--XyZ\r\nA: 1\r\n\r\none\r\n--XyZ\r\nA: 2\r\n\r\nunfini",
       {"one"}},
      {"closing delimiter ends the body",
       "--XyZ\r\n\r\none\r\n--XyZ--\r\n--XyZ\r\n\r\ntwo\r\n--XyZ--",
       {"one"}},
      {"a part without a blank line is skipped",
       "--XyZ\r\nA: 1\r\none\r\n--XyZ\r\n\r\ntwo\r\n--XyZ--",
       {"two"}},
      {"line feeds alone", "--XyZ\nA: 1\n\none\n--XyZ\n\ntwo\n--XyZ--", {"one", "two"}},
      {"empty bodies and an empty part",
       "--XyZ\r\n--XyZ\r\n\r\n\r\n--XyZ\r\nA: 1\r\n\r\n\r\n--XyZ--",
       {"", ""}},
      {"a delimiter not at a line start is data", "--XyZ\r\n\r\nx--XyZ\r\n--XyZ--", {"x--XyZ"}},
      {"a longer word is data", "--XyZ\r\n\r\nx\r\n--XyZZ\r\n--XyZ--", {"x\r\n--XyZZ"}},
      {"transport padding after a delimiter",
       "--XyZ  \r\n\r\none\r\n--XyZ \r\n\r\ntwo\r\n--XyZ--",
       {"one", "two"}},
      {"no delimiter at all", "just text", {}},
      {"a delimiter line that never ends", "--XyZ", {}},
      {"nothing", "", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> bodies;
    for (const MultipartPart& part : Split(c.body)) bodies.emplace_back(part.body);
    EXPECT_EQ(bodies, c.bodies) << c.what;
  }
}

TEST(SplitMultipartTest, DispositionParameters) {
  struct Case {
    const char* disposition;
    const char* name;
    bool has_file_name;
    const char* file_name;
  } cases[] = {
      {"form-data; name=\"userfile\"; filename=\"a.jpg\"", "userfile", true, "a.jpg"},
      {"form-data; filename=\"a.jpg\"; name=\"userfile\"", "userfile", true, "a.jpg"},
      {"form-data; name=userfile; filename=a.jpg", "userfile", true, "a.jpg"},
      {"form-data; name=\"userfile\"; filename=\"\"", "userfile", true, ""},
      {"form-data; name=\"userfile\"", "userfile", false, ""},
      {"form-data; name=\"userfile\"; filename*=UTF-8''a.jpg", "userfile", false, ""},
      {"form-data; name=\"a;b\"; filename=\"x;y.jpg\"", "a;b", true, "x;y.jpg"},
      {"form-data; name=\"unclosed", "", false, ""},
      {"form-data; name=\"userfile\"; filename=\"cut short", "userfile", false, ""},
      {"form-data; junk; name=\"userfile\"", "userfile", false, ""},
  };
  for (const Case& c : cases) {
    std::string body =
        std::string("--XyZ\r\nContent-Disposition: ") + c.disposition + "\r\n\r\nx\r\n--XyZ--";
    std::vector<MultipartPart> parts = Split(body);
    ASSERT_EQ(parts.size(), 1u) << c.disposition;
    EXPECT_EQ(parts[0].name, c.name) << c.disposition;
    EXPECT_EQ(parts[0].has_file_name, c.has_file_name) << c.disposition;
    EXPECT_EQ(parts[0].file_name, c.file_name) << c.disposition;
  }
}

TEST(SplitMultipartTest, BoundsTheNumberOfParts) {
  auto body_of = [](size_t count) {
    std::string body;
    for (size_t i = 0; i < count; ++i) body += "--XyZ\r\n\r\nx\r\n";
    return body + "--XyZ--";
  };
  EXPECT_EQ(Split(body_of(kMaxMultipartParts)).size(), kMaxMultipartParts);
  EXPECT_TRUE(
      Split(body_of(kMaxMultipartParts + 1), "XyZ", MultipartResult::kTooManyParts).empty());
}

}  // namespace
