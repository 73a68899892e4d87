#include "platform/known_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace platform {
namespace {

class PicturesFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("lv_home_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(home_ / ".config");
    saved_home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home_.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
  }
  void TearDown() override {
    setenv("HOME", saved_home_.c_str(), 1);
    std::filesystem::remove_all(home_);
  }
  void WriteUserDirs(const std::string& text) {
    std::ofstream(home_ / ".config" / "user-dirs.dirs") << text;
  }
  std::filesystem::path home_;
  std::string saved_home_;
};

TEST_F(PicturesFolderTest, FallsBackToHomePictures) {
  EXPECT_EQ(PicturesFolder(), home_.string() + "/Pictures");
}

TEST_F(PicturesFolderTest, ReadsXdgEntryWithHomeExpansion) {
  WriteUserDirs(
      "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(PicturesFolder(), home_.string() + "/Bilder");
}

TEST_F(PicturesFolderTest, AbsoluteEntryAndDisabledEntry) {
  WriteUserDirs("XDG_PICTURES_DIR=\"/srv/photos/\"\n");
  EXPECT_EQ(PicturesFolder(), "/srv/photos");
  WriteUserDirs("XDG_PICTURES_DIR=\"$HOME/\"\n");
  EXPECT_EQ(PicturesFolder(), home_.string() + "/Pictures");
}

TEST_F(PicturesFolderTest, CacheFolderFromXdgCacheHomeElseHome) {
  const char* saved = std::getenv("XDG_CACHE_HOME");
  const std::string saved_cache = saved ? saved : "";
  struct Case {
    const char* xdg;  // null: unset
    std::string expected;
  };
  const Case cases[] = {
      {nullptr, home_.string() + "/.cache"},
      {"/var/cache/someone", "/var/cache/someone"},
      {"relative/cache", home_.string() + "/.cache"},
  };
  for (const Case& c : cases) {
    if (c.xdg) {
      setenv("XDG_CACHE_HOME", c.xdg, 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
    EXPECT_EQ(CacheFolder(), c.expected) << (c.xdg ? c.xdg : "(unset)");
  }
  if (saved) {
    setenv("XDG_CACHE_HOME", saved_cache.c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

}  // namespace
}  // namespace platform
