#include "common/config/login_guard.h"

#include <gtest/gtest.h>

#include "platform/testing/test_folder.h"

namespace {

constexpr char kUser[] =
    "<USER><USER_NAME>anna</USER_NAME><HASH>8ed71e3b1b55bd201503210718a52d84</HASH>"
    "<PRIV>1</PRIV></USER>\r\n";

// A start on a file of `lines`: whether login is on, and the warnings.
struct Start {
  int32_t need_user;
  std::vector<std::string> warnings;
};
Start StartOn(const std::string& lines) {
  TestFolder folder;
  const std::string path = folder.Write("gallery.con", "<PATH>/srv/pictures</PATH>\r\n" + lines);
  ServerSettings settings;
  ConfigReport report;
  EXPECT_TRUE(settings.LoadForStart(path, &report)) << report.error;
  return {settings.need_user, report.warnings};
}

bool Warns(const Start& start, const std::string& text) {
  for (const std::string& warning : start.warnings) {
    if (warning.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(LoginGuardTest, DoubtWithUsersMeansLoginOn) {
  struct Case {
    const char* what;
    std::string lines;
    const char* warning;  // a part of the warning that names the key
  };
  const Case cases[] = {
      {"yes", "<NEED_USER>yes</NEED_USER>\r\n", "NEED_USER is \"yes\", which is not a number"},
      {"true", "<NEED_USER>true</NEED_USER>\r\n", "NEED_USER is \"true\""},
      {"twice, first 0", "<NEED_USER>0</NEED_USER>\r\n<NEED_USER>1</NEED_USER>\r\n",
       "NEED_USER is given 2 times with different values"},
      {"never closed", "<NEED_USER>1\r\n", "<NEED_USER> is never closed"},
      {"lower case", "<need_user>1</need_user>\r\n", "<need_user> is not <NEED_USER>"},
      {"captured by a longer key", "<NEED_USERS>0</NEED_USERS>\r\n<NEED_USER>1</NEED_USER>\r\n",
       "NEED_USER is \"1\", hidden by an element before it"},
  };
  for (const Case& c : cases) {
    const Start start = StartOn(c.lines + kUser);
    EXPECT_EQ(start.need_user, 1) << c.what;
    EXPECT_TRUE(Warns(start, c.warning)) << c.what;
    EXPECT_TRUE(Warns(start, "since the file names users, login is on")) << c.what;
  }
}

TEST(LoginGuardTest, PlainSettingsAreTakenAsTheyAre) {
  struct Case {
    const char* what;
    std::string lines;
    int32_t need_user;
  };
  const Case cases[] = {
      {"0 with users", std::string("<NEED_USER>0</NEED_USER>\r\n") + kUser, 0},
      {"absent with users", kUser, 0},
      {"1 with users", std::string("<NEED_USER>1</NEED_USER>\r\n") + kUser, 1},
      {"blanks around 0, twice",
       std::string("<NEED_USER> 0 </NEED_USER><NEED_USER>0</NEED_USER>") + kUser, 0},
      {"yes without users", "<NEED_USER>yes</NEED_USER>\r\n", 0},
  };
  for (const Case& c : cases) {
    const Start start = StartOn(c.lines);
    EXPECT_EQ(start.need_user, c.need_user) << c.what;
    EXPECT_FALSE(Warns(start, "login is on")) << c.what;
  }
}

}  // namespace
