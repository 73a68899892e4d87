#include "server/catalogue/search.h"

#include <gtest/gtest.h>

namespace {

TEST(NormalizeForSearchTest, FoldsKatakanaFullWidthAndAsciiCase) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"ネコ", "ねこ"},
      {"ァヴ", "ぁゔ"},      // both ends of the katakana range
      {"ヵ・ー", "ヵ・ー"},  // beyond it: unchanged
      {"ＰＮＧ", "png"},     // full-width, then ASCII lower-casing
      {"！｝～", "!}～"},    // U+FF5E stays
      {"/Srv/Pics/A.JPG", "/srv/pics/a.jpg"},
      {"ÄÖ", "ÄÖ"},  // no other case folding
      {"a\xff"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeForSearch(c.in), c.out) << c.in;
}

TEST(SearchTokensTest, SplitsAtBothSpacesKeepingEmptyPieces) {
  EXPECT_TRUE(SearchTokens("").empty());
  EXPECT_EQ(SearchTokens("Cat dog"), (std::vector<std::string>{"cat", "dog"}));
  EXPECT_EQ(SearchTokens("cat\u3000ドッグ"), (std::vector<std::string>{"cat", "どっぐ"}));
  EXPECT_EQ(SearchTokens(" a  "), (std::vector<std::string>{"", "a", "", ""}));
}

TEST(SearchTokensTest, EveryTokenMustOccur) {
  const std::string path = NormalizeForSearch("/srv/Pics/cat and dog.png");
  EXPECT_TRUE(MatchesAllTokens(path, SearchTokens("cat dog")));
  EXPECT_TRUE(MatchesAllTokens(path, SearchTokens("ＰＮＧ")));
  EXPECT_TRUE(MatchesAllTokens(path, SearchTokens("pics")));
  EXPECT_TRUE(MatchesAllTokens(path, SearchTokens(" ")));
  EXPECT_FALSE(MatchesAllTokens(path, SearchTokens("cat bird")));
}

}  // namespace
