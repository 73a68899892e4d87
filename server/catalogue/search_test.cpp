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

// Half-width katakana (old camera software and file names typed on Japanese keyboards) fold
// like the full-width kana: ｽｸﾘｰﾝ finds what スクリーン and すくりーん find.
TEST(NormalizeForSearchTest, FoldsHalfWidthKatakanaWithTheirSoundMarks) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"ｽｸﾘｰﾝ", "すくりーん"},
      {"ｶﾞｷﾞﾊﾞﾊﾟﾎﾟｳﾞ", "がぎばぱぽゔ"},  // a base and its mark are one letter
      {"ﾏﾞｱﾟﾞｯﾞ", "ま゛あ゜゛っ゛"},     // marks that no base takes stay marks
      {"ｦｧｯ｡｢｣､･", "をぁっ。「」、・"},
      {"ｶ", "か"},  // a base at the end
      {"ﾞ", "゛"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeForSearch(c.in), c.out) << c.in;
  EXPECT_EQ(NormalizeForSearch("ｽｸﾘｰﾝｼｮｯﾄ"), NormalizeForSearch("スクリーンショット"));
  EXPECT_TRUE(MatchesAllTokens(NormalizeForSearch("/p/スクリーン 1.png"), SearchTokens("ｽｸﾘｰﾝ")));
  EXPECT_TRUE(MatchesAllTokens(NormalizeForSearch("/p/ｽｸﾘｰﾝ 1.png"), SearchTokens("スクリーン")));
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
