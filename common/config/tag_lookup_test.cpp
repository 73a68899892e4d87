#include "common/config/tag_lookup.h"

#include <gtest/gtest.h>

namespace {

TEST(FindTagValueTest, Cases) {
  struct Case {
    const char* text;
    const char* key;
    bool found;
    const char* value;
  };
  const Case cases[] = {
      {"<TITLE>My gallery</TITLE>\n", "TITLE", true, "My gallery"},
      {"<TITLE></TITLE>", "TITLE", true, ""},
      {"<TITLE> raw &amp; text \n</TITLE>", "TITLE", true, " raw &amp; text \n"},
      {"<title>x</title>", "TITLE", false, ""},  // keys are case-sensitive
      {"<TITLE>unclosed", "TITLE", false, ""},
      {"closed</TITLE>", "TITLE", false, ""},
      {"</TITLE><TITLE>x</TITLE>", "TITLE", false, ""},  // the first close comes first
      // The longer element written first wins, its value running to the first close of the key.
      {"<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n<ZIP_REJECT>0</ZIP_REJECT>\n", "ZIP_REJECT", true,
       "1</ZIP_REJECT_UPLOAD>\n<ZIP_REJECT>0"},
      {"<ZIP_REJECT>0</ZIP_REJECT>\n<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n", "ZIP_REJECT", true,
       "0"},
      {"<ZIP_REJECT>0</ZIP_REJECT>\n<ZIP_REJECT_UPLOAD>1</ZIP_REJECT_UPLOAD>\n",
       "ZIP_REJECT_UPLOAD", true, "1"},
      {"<UPnP>1</UPnP>\n<UPnP_PORT>8080</UPnP_PORT>\n", "UPnP", true, "1"},
      {"<UPnP>1</UPnP>\n<UPnP_PORT>8080</UPnP_PORT>\n", "UPnP_PORT", true, "8080"},
      {"<UPnP_PORT>8080</UPnP_PORT>\n", "UPnP", false, ""},
      {"<USER><USER_NAME>a</USER_NAME></USER>", "USER", true, "<USER_NAME>a</USER_NAME>"},
      {"<USER><USER_NAME>a</USER_NAME></USER>", "USER_NAME", true, "a"},
      // An opening tag whose ">" comes only after the closing tag is malformed.
      {"<TITLE</TITLE>rest", "TITLE", false, ""},
  };
  for (const Case& c : cases) {
    std::string value = "untouched";
    EXPECT_EQ(FindTagValue(c.text, c.key, &value), c.found) << c.text;
    EXPECT_EQ(value, c.found ? c.value : "untouched") << c.text;
  }
}

TEST(FindAllTagValuesTest, Cases) {
  struct Case {
    const char* text;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"", {}},
      {"<PATH>/a</PATH>\n<PATH>/b</PATH>\n<PATH>/a</PATH>\n", {"/a", "/b", "/a"}},
      {"<PATH>/a</PATH>\n<PATH>/b\n", {"/a"}},  // the last one is unclosed
      // An unclosed element followed by a complete one: one value spanning both.
      {"<PATH>/a\n<PATH>/b</PATH>\n", {"/a\n<PATH>/b"}},
      // The next opening tag is searched from the previous close, so a stray close is passed.
      {"<PATH>/a</PATH>\n</PATH>\n<PATH>/b</PATH>\n", {"/a", "/b"}},
      {"</PATH><PATH>/a</PATH>", {}},
      {"<PATH>/a</PATH><PATH</PATH><PATH>/b</PATH>", {"/a"}},  // a malformed one stops it too
      {"<PATHS>/x</PATH>", {"/x"}},                            // the opening tag is a prefix
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindAllTagValues(c.text, "PATH"), c.values) << c.text;
    ASSERT_EQ(CountTagValues(c.text, "PATH"), c.values.size()) << c.text;
    for (size_t i = 0; i <= c.values.size(); ++i) {
      std::string value;
      bool found = GetTagValueAt(c.text, "PATH", i, &value);
      EXPECT_EQ(found, i < c.values.size()) << c.text << " index " << i;
      if (found) {
        EXPECT_EQ(value, c.values[i]) << c.text << " index " << i;
      }
    }
  }
}

}  // namespace
