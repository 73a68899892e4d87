#include "platform/service_manager.h"

#include <stdlib.h>

#include <gtest/gtest.h>

namespace {

TEST(ServiceManagerTest, UnitFoldersFollowSystemdUnitPath) {
  const std::vector<std::string> usual = {"/etc/systemd/system", "/run/systemd/system",
                                          "/usr/local/lib/systemd/system",
                                          "/usr/lib/systemd/system", "/lib/systemd/system"};
  auto with = [&](std::vector<std::string> first, bool add_usual) {
    if (add_usual) first.insert(first.end(), usual.begin(), usual.end());
    return first;
  };
  struct Case {
    const char* value;  // nullptr: unset
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {nullptr, usual},
      {"/a", {"/a"}},
      {"/a:/b", {"/a", "/b"}},
      {"/a:", with({"/a"}, true)},  // an empty entry stands for the usual folders
      {"", usual},
  };
  for (const Case& c : cases) {
    if (c.value == nullptr) {
      unsetenv("SYSTEMD_UNIT_PATH");
    } else {
      setenv("SYSTEMD_UNIT_PATH", c.value, 1);
    }
    EXPECT_EQ(platform::UnitFolders(), c.expected) << (c.value ? c.value : "(unset)");
  }
  unsetenv("SYSTEMD_UNIT_PATH");
}

}  // namespace
