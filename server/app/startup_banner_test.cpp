#include "server/app/startup_banner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/test_folder.h"

namespace {

TEST(StartupBannerTest, NotesMissingAndEmptyFolders) {
  TestFolder folder;
  std::filesystem::create_directories(folder.Path("full"));
  std::filesystem::create_directories(folder.Path("empty"));
  folder.Write("full/a.jpg", "x");
  ServerSettings settings;
  settings.loaded = true;
  settings.folders = {folder.Path("full"), folder.Path("empty"), folder.Path("gone")};
  EXPECT_EQ(StartupBanner(settings, 8080), "Lumenvale is serving http://localhost:8080/ from " +
                                               folder.Path("full") + ", " + folder.Path("empty") +
                                               " (empty), " + folder.Path("gone") + " (missing)");
  settings.folders.clear();
  EXPECT_EQ(StartupBanner(settings, 8080),
            "Lumenvale is serving http://localhost:8080/ with no picture folders configured");
}

TEST(StartupBannerTest, SaysWhetherLoginIsOn) {
  ServerSettings settings;
  EXPECT_EQ(LoginLine(settings),
            "Login is off: anyone who reaches the port sees the pictures (NEED_USER 0).");
  settings.need_user = 1;
  EXPECT_EQ(LoginLine(settings), "Login is on, but no user is configured: nobody can log in.");
  settings.users.resize(1);
  EXPECT_EQ(LoginLine(settings),
            "Login is on: every request needs the name and password of the one user.");
  settings.users.resize(3);
  EXPECT_EQ(LoginLine(settings),
            "Login is on: every request needs the name and password of one of 3 users.");
}

TEST(StartupBannerTest, SaysHttpsAndThePublicAddressWhenThereIsOne) {
  ServerSettings settings;
  settings.loaded = true;
  settings.https = 1;
  EXPECT_EQ(StartupBanner(settings, 8443),
            "Lumenvale is serving https://localhost:8443/ with no picture folders configured");
  EXPECT_EQ(PublicAddressLines("https://203.0.113.7:8443"),
            "From the Internet (UPnP):\n  https://203.0.113.7:8443\n");
  EXPECT_EQ(PublicAddressLines(""), "");
}

}  // namespace
