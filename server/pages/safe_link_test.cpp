#include "server/pages/safe_link.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeLinkTest, EncodesOnlyTheUnsafeBytes) {
  struct Case {
    std::string text;
    const char* expected;
  } cases[] = {
      {"plain-1_N.0~!$()*+,;:@/%41", "plain-1_N.0~!$()*+,;:@/%41"},
      {"\"'<>\\`", "%22%27%3C%3E%5C%60"},
      {" \t\r\n", "%20%09%0D%0A"},
      {std::string("a\0b", 3), "a%00b"},
      {"\x7F\x80\xFF", "%7F%80%FF"},
      {"猫", "%E7%8C%AB"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEncodeUnsafe(c.text), c.expected) << c.text;
}

TEST(SafeLinkTest, NamesAndValuesAreEncodedSeparatorsStay) {
  s_request request;
  ASSERT_TRUE(request.parse("/individual?page=1-N-2&auto=\"<b>\"&word=%E7%8C%AB"));
  EXPECT_EQ(SafeLinkFrom(request, "image", {{"page", "1\">-N-3"}, {"<i>", "1"}}),
            "image?%3Ci%3E=1&auto=%22%3Cb%3E%22&page=1%22%3E-N-3&word=%E7%8C%AB");
  EXPECT_EQ(SafeLinkFrom(request, "view", {}, {"auto", "word"}), "view?page=1-N-2");
  EXPECT_EQ(SafeLinkFrom(s_request(), "slideshow", {}), "slideshow");
}

}  // namespace
