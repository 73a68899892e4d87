#include "server/pages/html_escape.h"

#include <gtest/gtest.h>

namespace {

TEST(HtmlEscapeTest, EntitiesPerCodePoint) {
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {"", ""},
      {"a<1", "&#x61;&#x3C;&#x31;"},
      {"猫", "&#x732B;"},
      {"\xF0\x9F\x98\x80", "&#x1F600;"},  // one entity, not two surrogate halves
      {"\xFFz", "&#xFFFD;&#x7A;"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeHtmlEntities(c.text), c.expected) << c.text;
  EXPECT_EQ(EscapeHtmlEntitiesBare("a<猫\xFF"), "&#x61&#x3C&#x732B&#xFFFD");
}

TEST(HtmlEscapeTest, AttributeValues) {
  EXPECT_EQ(EscapeAttribute("T-1-N-0\"><script>&"), "T-1-N-0&quot;&gt;&lt;script&gt;&amp;");
  EXPECT_EQ(EscapeAttribute("%E7%8C%AB+x"), "%E7%8C%AB+x");
}

}  // namespace
