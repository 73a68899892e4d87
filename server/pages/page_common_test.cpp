#include "server/pages/page_common.h"

#include <gtest/gtest.h>

namespace {

TEST(PageCommonTest, PrologueAndScriptTag) {
  EXPECT_EQ(std::string(kPageStart) + std::string(kCharsetMeta),
            "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n"
            "<meta http-equiv=\"content-type\" charset=\"Shift-JIS\">\r\n");
  EXPECT_EQ(ScriptTagStart("abc+/==") + " src = \"/script?name=ImagePage.js\"></script>",
            "<script nonce=\"abc+/==\" src = \"/script?name=ImagePage.js\"></script>");
}

TEST(PageCommonTest, TitleIsEscapedEntirely) {
  EXPECT_EQ(TitleLine("写真<&"), "<title>&#x5199;&#x771F;&#x3C;&#x26;</title>\r\n");
  EXPECT_EQ(TitleLine(""), "<title></title>\r\n");
}

TEST(PageCommonTest, LinksComeFromACopyOfTheRequest) {
  s_request request;
  ASSERT_TRUE(request.parse("/view?word=%E7%8C%AB&page=T-1-N-2&ui=1"));
  // "ui" is no parameter of the thumbnail page: it stays behind, whatever the link.
  struct Case {
    std::string link;
    const char* expected;
  } cases[] = {
      {LinkFrom(request, "view", {{"page", "T-1-N-3"}}), "view?page=T-1-N-3&word=%E7%8C%AB"},
      {LinkFrom(request, "image", {{"page", "1-N-7"}, {"shrink", "1"}}, {"word"}),
       "image?page=1-N-7&shrink=1"},
      {LinkFrom(request, "individual", {}, {"page", "word"}), "individual"},
      {LinkFrom(request, "/vote", {}, {"absent"}), "/vote?page=T-1-N-2&word=%E7%8C%AB"},
      {LinkFrom(request, "/vote", {{"ui", "2"}}), "/vote?page=T-1-N-2&ui=2&word=%E7%8C%AB"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.link, c.expected);
  // Each page carries its own parameters.
  s_request image_page;
  ASSERT_TRUE(image_page.parse("/individual?page=1-N-2&auto=3&auto-type=1&id=x&interval=5&ui=1"));
  EXPECT_EQ(LinkFrom(image_page, "image", {}), "image?auto=3&auto-type=1&id=x&page=1-N-2");
  s_request slide_show;
  ASSERT_TRUE(slide_show.parse("/slideshow?page=1-N-2&auto=3&interval=5&word=w"));
  EXPECT_EQ(LinkFrom(slide_show, "next_url", {}), "next_url?interval=5&page=1-N-2&word=w");
  EXPECT_EQ(LinkFrom(s_request(), "slideshow", {{"page", "1"}}), "slideshow?page=1");
  EXPECT_EQ(request.to_text(), "/view?page=T-1-N-2&ui=1&word=%E7%8C%AB");  // unchanged
}

TEST(PageCommonTest, ShiftJisPage) {
  EXPECT_EQ(ShiftJisPage("<p>画像に移動します。</p>"),
            "<p>\x89\xE6\x91\x9C\x82\xC9\x88\xDA\x93\xAE\x82\xB5\x82\xDC\x82\xB7\x81\x42</p>");
  EXPECT_EQ(ShiftJisPage("plain\r\n"), "plain\r\n");
  // U+1F600 has no Shift-JIS form: nothing half converted goes out.
  EXPECT_EQ(ShiftJisPage("a\xF0\x9F\x98\x80"), "");
}

TEST(PageCommonTest, ScriptsAreCutAtTheirMarker) {
  const ScriptAroundMarker parts = SplitAtMarker("url: '{{link}}', n: 1\r\n", "{{link}}");
  EXPECT_EQ(parts.before, "url: '");
  EXPECT_EQ(parts.after, "', n: 1\r\n");
  // A built-in script without its marker, or with two, cannot be filled in. The test binary
  // runs worker threads, so the dying child is started afresh rather than forked.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(SplitAtMarker("url: ''", "{{link}}"), "does not hold \\{\\{link\\}\\} exactly once");
  EXPECT_DEATH(SplitAtMarker("{{link}}{{link}}", "{{link}}"), "exactly once");
}

}  // namespace
