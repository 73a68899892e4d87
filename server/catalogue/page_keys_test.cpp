#include "server/catalogue/page_keys.h"

#include <gtest/gtest.h>

#include "server/catalogue/word_decode.h"

namespace {

TEST(PageKeysTest, ParsesImageKeys) {
  struct Case {
    const char* text;
    bool ok;
    const char* list;
    ListOrder order;
    int32_t position;
  };
  const Case cases[] = {
      {"1-N-42", true, "1", ListOrder::Name, 42},
      {"1-X-3", true, "1", ListOrder::Name, 3},  // unknown code reads as Name
      {"7-PD-0", true, "7", ListOrder::FolderTopByDate, 0},
      {"1-F-abc", true, "1", ListOrder::Likes, 0},
      {"1-D-12x", true, "1", ListOrder::Date, 12},
      {"1-D- 5", true, "1", ListOrder::Date, 5},
      {"1-D-+5", true, "1", ListOrder::Date, 5},
      {"1-D-", true, "1", ListOrder::Date, 0},
      {"1-N-99999999999", true, "1", ListOrder::Name, 2147483647},
      {"1-N", false, "", ListOrder::Name, 0},
      {"1-N-2-3", false, "", ListOrder::Name, 0},
      {"", false, "", ListOrder::Name, 0},
  };
  for (const Case& c : cases) {
    ImageKey key;
    ASSERT_EQ(ParseImageKey(c.text, &key), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(key.list_field, c.list) << c.text;
    EXPECT_EQ(key.order, c.order) << c.text;
    EXPECT_EQ(key.position, c.position) << c.text;
  }
}

TEST(PageKeysTest, ParsesPageKeys) {
  PageKey key;
  ASSERT_TRUE(ParsePageKey("T-1-PN-0", &key));
  EXPECT_EQ(key.list_field, "1");
  EXPECT_EQ(key.order_code, "PN");
  EXPECT_EQ(key.order, ListOrder::FolderTopByName);
  EXPECT_EQ(key.page, 0);
  // "-" separates fields, so a negative page number makes a fifth field.
  EXPECT_FALSE(ParsePageKey("T-1-D--3", &key));
  ASSERT_TRUE(ParsePageKey("T-x-Q-4", &key));
  EXPECT_EQ(key.order, ListOrder::Name);
  EXPECT_EQ(key.page, 4);
  EXPECT_FALSE(ParsePageKey("1-N-4", &key));
  EXPECT_FALSE(ParsePageKey("t-1-N-4", &key));
  EXPECT_FALSE(ParsePageKey("T-1-N-4-5", &key));
}

TEST(PageKeysTest, ReadsNumbersLikeAtolOnThirtyTwoBits) {
  EXPECT_EQ(ReadKeyNumber("-7"), -7);
  EXPECT_EQ(ReadKeyNumber("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ReadKeyNumber("-99999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(ReadKeyNumber("2147483647"), 2147483647);
  EXPECT_EQ(ReadKeyNumber("-"), 0);
  EXPECT_EQ(ReadKeyNumber("x1"), 0);
}

TEST(PageKeysTest, MakesKeysThatParseBack) {
  EXPECT_EQ(MakePageKey("1", ListOrder::FolderTopByDate, 2), "T-1-PD-2");
  EXPECT_EQ(MakeImageKey("1", ListOrder::Likes, 42), "1-F-42");
  ImageKey key;
  ASSERT_TRUE(ParseImageKey(MakeImageKey("9", ListOrder::Date, 7), &key));
  EXPECT_EQ(key.order, ListOrder::Date);
  EXPECT_EQ(key.position, 7);
}

TEST(DecodeWordTest, PercentPlusAndUtf8) {
  struct Case {
    const char* raw;
    const char* word;
  };
  const Case cases[] = {
      {"cat+dog", "cat dog"},
      {"%E3%83%8D%E3%82%B3", "ネコ"},
      {"%2B%20", "+ "},
      {"100%", "100%"},
      {"%4", "%4"},
      {"%zz1", "%zz1"},
      {"%ff", "\xEF\xBF\xBD"},  // not UTF-8: replaced
      {"%C3", "\xEF\xBF\xBD"},  // truncated sequence
      {"%e3%80%80", "\u3000"},  // lower-case hex digits
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeWord(c.raw), c.word) << c.raw;
  EXPECT_EQ(DecodeWord("%00a"), std::string("\0a", 2));
}

}  // namespace
