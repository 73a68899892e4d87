#include "platform/run_command.h"

#include <gtest/gtest.h>

namespace {

TEST(RunCommandTest, CollectsBothStreamsAndTheExitStatus) {
  std::string output;
  EXPECT_EQ(platform::RunCommand({"sh", "-c", "echo out; echo err >&2; exit 3"}, &output), 3);
  EXPECT_EQ(output, "out\nerr\n");
  // Arguments reach the program as they are, without a shell reading them.
  EXPECT_EQ(platform::RunCommand({"printf", "%s|", "a b", "$HOME", "\"q\""}, &output), 0);
  EXPECT_EQ(output, "a b|$HOME|\"q\"|");
  // Standard input is empty, so a program that reads it does not wait.
  EXPECT_EQ(platform::RunCommand({"cat"}, &output), 0);
  EXPECT_EQ(output, "");
}

TEST(RunCommandTest, FailureToStartOrAbnormalEndIsMinusOne) {
  std::string output = "old";
  EXPECT_EQ(platform::RunCommand({"/nonexistent/program"}, &output), -1);
  EXPECT_EQ(output, "");
  EXPECT_EQ(platform::RunCommand({}, &output), -1);
  EXPECT_EQ(platform::RunCommand({"sh", "-c", "kill -9 $$"}, &output), -1);
}

}  // namespace
