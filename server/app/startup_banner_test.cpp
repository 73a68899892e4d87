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

}  // namespace
