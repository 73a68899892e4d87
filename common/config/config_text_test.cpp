#include "common/config/config_text.h"

#include <gtest/gtest.h>

#include "platform/testing/test_folder.h"

namespace {

// "猫" is U+732B: UTF-16LE 2B 73, Shift-JIS 94 4C, UTF-8 E7 8C AB.
TEST(DecodeConfigTextTest, Encodings) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {std::string("\xFF\xFE<\0T\0>\0\x2B\x73\r\0\n\0", 14), "<T>猫\n"},
      {std::string("\xFF\xFE", 2), ""},
      {std::string("\xFF\xFE"
                   "a\0b",
                   5),
       "a"},  // an odd trailing byte is dropped
      {std::string("\xFF\xFE"
                   "\x3D\xD8\x00\xDE",
                   6),
       "\xF0\x9F\x98\x80"},  // a surrogate pair
      {std::string("\xFF\xFE"
                   "\x3D\xD8"
                   "a\0",
                   6),
       "\xEF\xBF\xBD"
       "a"},  // a lone high one
      {std::string("\xFF\xFE"
                   "\x00\xDE",
                   4),
       "\xEF\xBF\xBD"},  // a lone low one
      {"\xEF\xBB\xBF<T>\xE7\x8C\xAB</T>\r\n", "<T>猫</T>\n"},
      {"<T>\x94\x4C</T>\r\n<U>x</U>\n", "<T>猫</T>\n<U>x</U>\n"},  // no mark: Shift-JIS
      {"", ""},
      {"a\rb\r\r\nc", "a\rb\r\nc"},  // only CR LF pairs become LF
      // A byte that is no Shift-JIS costs only its own character.
      {"<T>\xA0\x94\x4C</T>\n<U>\x94\x4C</U>", "<T>\xEF\xBF\xBD猫</T>\n<U>猫</U>"},
      {"ab\x94", "ab\xEF\xBF\xBD"},                  // a lead byte at the end
      {"a\x94\r\nb\x94\x4C", "a\xEF\xBF\xBD\nb猫"},  // a lead byte before CR LF
  };
  for (const Case& c : cases) {
    std::string text;
    ASSERT_TRUE(DecodeConfigText(c.bytes, &text)) << testing::PrintToString(c.bytes);
    EXPECT_EQ(text, c.text) << testing::PrintToString(c.bytes);
  }
}

TEST(DecodeConfigTextTest, RefusesUtf16BigEndian) {
  std::string text = "untouched";
  EXPECT_FALSE(DecodeConfigText(std::string("\xFE\xFF\0<\0T\0>", 8), &text));
  EXPECT_EQ(text, "untouched");
}

TEST(EncodeConfigTextTest, Utf16LeWithMarkAndCrLf) {
  std::string bytes;
  ASSERT_TRUE(EncodeConfigText("a猫\n\xF0\x9F\x98\x80\n", &bytes));
  EXPECT_EQ(bytes, std::string("\xFF\xFE"
                               "a\0\x2B\x73\r\0\n\0\x3D\xD8\x00\xDE\r\0\n\0",
                               18));
  std::string text;
  ASSERT_TRUE(DecodeConfigText(bytes, &text));
  EXPECT_EQ(text, "a猫\n\xF0\x9F\x98\x80\n");
  EXPECT_FALSE(EncodeConfigText("bad \xFF byte", &bytes));
}

TEST(ReadConfigTextTest, ReadsFilesAndRefusesWhatCannotBeRead) {
  TestFolder folder;
  std::string text;
  ASSERT_TRUE(ReadConfigText(folder.Write("a.con", "<PORT>1</PORT>\r\n"), &text));
  EXPECT_EQ(text, "<PORT>1</PORT>\n");

  // Longer than one read chunk, so the pieces must be joined.
  std::string long_line(20000, 'x');
  ASSERT_TRUE(ReadConfigText(folder.Write("long.con", "<T>" + long_line + "</T>"), &text));
  EXPECT_EQ(text, "<T>" + long_line + "</T>");

  EXPECT_FALSE(ReadConfigText(folder.Path("missing.con"), &text));
  EXPECT_FALSE(ReadConfigText(folder.Root(), &text));
  EXPECT_FALSE(ReadConfigText(folder.Write("be.con", std::string("\xFE\xFF\0a", 4)), &text));
}

}  // namespace
