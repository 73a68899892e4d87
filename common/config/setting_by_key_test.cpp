#include "common/config/setting_by_key.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(SettingByKeyTest, TextsFollowTheFileOrderWithoutAccountsAndUnsetKeptValues) {
  EditorSettings s;
  s.folders = {"/a", "/b c"};
  s.port = 8080;
  s.sub = true;
  s.title = "T";
  s.hash_file_name = "h.dat";
  s.users = {{"anna", "0123", 1}};
  std::vector<SettingText> texts = SettingTexts(s);
  std::vector<SettingText> expected = {
      {"PATH", "/a"},
      {"PATH", "/b c"},
      {"PORT", "8080"},
      {"SUB", "1"},
      {"SORT_WINDOWS", "0"},
      {"RESET_STANDBY_ACCESS", "0"},
      {"SHOW_FULLPATH", "0"},
      {"OPEN_NEW_TAB", "0"},
      {"OPEN_NAME_THUMBNAIL_FOLDER", "0"},
      {"TOP_FOLDER", "0"},
      {"ZIP_REJECT", "0"},
      {"ZIP_REJECT_UPLOAD", "0"},
      {"TITLE", "T"},
      {"HASH_FILE_NAME", "h.dat"},
      {"NEED_USER", "0"},
      {"UPnP", "0"},
      {"UPnP_PORT", "0"},
      {"HTTPS", "0"},
      {"TLS_CERT", ""},
      {"TLS_KEY", ""},
  };
  EXPECT_EQ(texts, expected);
  s.buffer_size = 64;
  texts = SettingTexts(s);
  EXPECT_EQ(texts.back(), (SettingText{"BUFFER_SIZE", "64"}));
}

TEST(SettingByKeyTest, SettableKeysAreTheDialogsSingleValues) {
  std::vector<std::string> keys = SettableKeys();
  EXPECT_EQ(keys.front(), "PORT");
  EXPECT_EQ(keys.back(), "TLS_KEY");
  for (const char* absent : {"PATH", "USER", "BUFFER_SIZE"}) {
    EXPECT_EQ(std::find(keys.begin(), keys.end(), absent), keys.end()) << absent;
  }
}

TEST(SettingByKeyTest, SetsByKeyIgnoringCaseAndRefusesBadValues) {
  struct Case {
    const char* key;
    const char* value;
    SetSettingResult result;
  } cases[] = {
      {"PORT", "8080", SetSettingResult::kSet},
      {"port", "0", SetSettingResult::kSet},
      {"PORT", "-1", SetSettingResult::kBadValue},
      {"PORT", "80a", SetSettingResult::kBadValue},
      {"PORT", "", SetSettingResult::kBadValue},
      {"PORT", "2147483648", SetSettingResult::kBadValue},
      {"upnp_port", "2147483647", SetSettingResult::kSet},
      {"SUB", "1", SetSettingResult::kSet},
      {"SUB", "2", SetSettingResult::kBadValue},
      {"SUB", "yes", SetSettingResult::kBadValue},
      {"TITLE", "", SetSettingResult::kSet},
      {"HASH_FILE_NAME", "likes.dat", SetSettingResult::kSet},
      {"PATH", "/x", SetSettingResult::kUnknownKey},
      {"USER", "x", SetSettingResult::kUnknownKey},
      {"BUFFER_SIZE", "10", SetSettingResult::kUnknownKey},
      {"NO_SUCH_KEY", "1", SetSettingResult::kUnknownKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    EditorSettings s;
    EXPECT_EQ(SetSettingByKey(c.key, c.value, &s), c.result);
  }
  EditorSettings s;
  SetSettingByKey("port", "8080", &s);
  SetSettingByKey("UPnP", "1", &s);
  SetSettingByKey("TITLE", "a <b>", &s);
  EXPECT_EQ(s.port, 8080);
  EXPECT_TRUE(s.upnp);
  EXPECT_EQ(s.title, "a <b>");
  EditorSettings untouched;
  SetSettingByKey("SUB", "2", &untouched);
  EXPECT_EQ(untouched, EditorSettings());
}

}  // namespace
