#include "platform/text.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextTest, Cp932RoundTripOfJapanese) {
  const std::string utf8 = "ネコ ねこ 猫 ＰＮＧ abc";
  std::string sjis;
  ASSERT_TRUE(Utf8ToCp932(utf8, &sjis));
  EXPECT_EQ(sjis.substr(0, 4), "\x83\x6c\x83\x52");  // ネコ
  std::string back;
  ASSERT_TRUE(Cp932ToUtf8(sjis, &back));
  EXPECT_EQ(back, utf8);
}

TEST(TextTest, FailsWhereTheTargetHasNoForm) {
  std::string out;
  EXPECT_FALSE(Utf8ToCp932("\xF0\x9F\x98\x80", &out));  // an emoji has no Shift-JIS form
  EXPECT_FALSE(Utf8ToCp932("\xC3", &out));              // truncated UTF-8
  EXPECT_FALSE(Cp932ToUtf8("\x83", &out));              // lead byte without trail byte
  std::u16string wide;
  EXPECT_FALSE(Utf8ToUtf16("\xFF", &wide));
}

TEST(TextTest, Utf16BothWaysIncludingSurrogates) {
  std::u16string wide;
  ASSERT_TRUE(Utf8ToUtf16("a\xF0\x9F\x98\x80", &wide));
  EXPECT_EQ(wide, (std::u16string{u'a', 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToLeBytes(wide), std::string("a\0\x3D\xD8\x00\xDE", 6));
  EXPECT_EQ(LeBytesToUtf16(Utf16ToLeBytes(wide)), wide);
  std::string utf8;
  ASSERT_TRUE(Utf16ToUtf8(wide, &utf8));
  EXPECT_EQ(utf8, "a\xF0\x9F\x98\x80");
}

TEST(TextTest, LongInputCrossesTheInternalChunk) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "猫";
  std::string sjis, back;
  ASSERT_TRUE(Utf8ToCp932(utf8, &sjis));
  EXPECT_EQ(sjis.size(), 10000u);
  ASSERT_TRUE(Cp932ToUtf8(sjis, &back));
  EXPECT_EQ(back, utf8);
}

// Only ASCII letters change case: the bytes around them, those of UTF-8 letters included
// ("Ä" is C3 84, whose lower case would be C3 A4), stay as they are.
TEST(TextTest, AsciiCase) {
  EXPECT_EQ(AsciiToLower("Content-LENGTH: 12 @[`{"), "content-length: 12 @[`{");
  EXPECT_EQ(AsciiToLower("\xC3\x84X.JPG"), "\xC3\x84x.jpg");
  struct Case {
    std::string_view a, b;
    bool equal;
  } cases[] = {
      {"Authorization", "authorization", true},
      {"ZIP", "zip", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"@", "`", false},  // 0x40 and 0x60 differ by the case bit but are no letters
      {"[", "{", false},
      {"\xC3\x84", "\xC3\xA4", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(EqualsIgnoreCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

TEST(TextTest, FolderOf) {
  struct Case {
    std::string path, folder;
  } cases[] = {
      {"/etc/lumenvale/a.con", "/etc/lumenvale"},
      {"/a.con", "/"},
      {"a.con", "."},
      {"dir/a.con", "dir"},
      {"dir/", "dir"},
  };
  for (const Case& c : cases) EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
}

}  // namespace
}  // namespace platform
