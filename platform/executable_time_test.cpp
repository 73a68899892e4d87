#include "platform/executable_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

TEST(ExecutableTimeTest, IsTheWriteTimeOfTheRunningBinary) {
  int64_t seconds = 0;
  ASSERT_TRUE(platform::ExecutableWriteTime(&seconds));

  // The same file found by another route: its path, then the standard library's clock.
  std::filesystem::path binary = std::filesystem::read_symlink("/proc/self/exe");
  auto written = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(binary));
  int64_t expected = std::chrono::floor<std::chrono::seconds>(written).time_since_epoch().count();
  EXPECT_EQ(seconds, expected);
}

}  // namespace
