// The real server binary given configurations it must not serve, and a second start with
// another configuration: each says what is wrong, and nothing is served on a guess.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

class StartupConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.Path("pictures"));
    std::filesystem::create_directories(folder_.Path("units"));
    std::filesystem::create_directories(folder_.Path("runtime"));
    chmod(folder_.Path("runtime").c_str(), 0700);
  }

  ChildProcess Start(const std::string& argument) {
    ChildProcess::Environment env = ConsoleEnvironment(folder_.Path("units"));
    env["XDG_RUNTIME_DIR"] = folder_.Path("runtime");
    return ChildProcess({LUMENVALE_BINARY, argument}, env);
  }

  TestFolder folder_;
};

// A typo in the path used to serve the pictures folder on port 12345 to the whole network,
// without the login the file asked for, and exit 0 at the end as if all was well.
TEST_F(StartupConfigTest, AConfigurationThatCannotBeServedIsAnErrorAndNothingIsServed) {
  const std::string gallery = folder_.Write(
      "gallery.con", GalleryConfig(folder_.Path("pictures"), 0) + "<NEED_USER>1</NEED_USER>\r\n");
  const std::string unreadable =
      folder_.Write("locked.con", GalleryConfig(folder_.Path("pictures"), 0));
  chmod(unreadable.c_str(), 0);
  struct Case {
    std::string argument;
    std::string errors;
  };
  std::vector<Case> cases = {
      {folder_.Path("gallary.con"),  // mistyped
       "Could not read the configuration file " + folder_.Path("gallary.con") +
           ": No such file or directory. Nothing is served.\n"},
      {folder_.Path("missing/gallery.con"),
       "Could not read the configuration file " + folder_.Path("missing/gallery.con") +
           ": No such file or directory. Nothing is served.\n"},
      {folder_.Write("big.con", "<PATH>" + folder_.Path("pictures") + "</PATH><PORT>70000</PORT>"),
       folder_.Path("big.con") +
           ": PORT is \"70000\", which is not a port number (1 to 65535, or 0 for any free "
           "port). Nothing is served.\n"},
  };
  if (access(unreadable.c_str(), R_OK) != 0) {  // root reads it anyway
    cases.push_back({unreadable, "Could not read the configuration file " + unreadable +
                                     ": Permission denied. Nothing is served.\n"});
  }
  for (const Case& c : cases) {
    ChildProcess server = Start(c.argument);
    EXPECT_EQ(server.Wait(), 1) << c.argument;
    EXPECT_EQ(server.ReadErrors(), c.errors);
    EXPECT_EQ(server.ReadLine(100), "") << c.argument;  // no start line: nothing listened
  }
}

TEST_F(StartupConfigTest, WhatTheFileLeavesUnreadIsNamedAndTheRestServed) {
  const std::string config =
      folder_.Write("open.con", GalleryConfig(folder_.Path("pictures"), 0) + "<NEED_USER>1\r\n");
  ChildProcess server = Start(config);
  EXPECT_NE(BannerPort(server.ReadLine()), 0);
  EXPECT_EQ(server.Wait(SIGTERM), 0);
  EXPECT_EQ(server.ReadErrors(), "Warning: " + config +
                                     ": <NEED_USER> is never closed by </NEED_USER>: it is "
                                     "ignored.\n");
}

// A configuration just saved with login turned on was silently not applied when a server with
// the old one still ran on its port.
TEST_F(StartupConfigTest, ASecondStartWithAnotherFileNamesTheRunningOnesFile) {
  const int port = FreePort();
  const std::string running =
      folder_.Write("running.con", GalleryConfig(folder_.Path("pictures"), port));
  const std::string saved = folder_.Write(
      "saved.con", GalleryConfig(folder_.Path("pictures"), port) + "<NEED_USER>1</NEED_USER>\r\n");
  ChildProcess first = Start(running);
  ASSERT_EQ(BannerPort(first.ReadLine()), port);

  const std::string instance = "Lumenvale:" + std::to_string(port);
  ChildProcess second = Start(saved);
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.ReadErrors(),
            instance + " is already running with " + running + ", not with " + saved +
                ", which is not applied.\nTo serve " + saved +
                ", stop the running server (Ctrl-C in its console, 終了(X) in its tray menu, or "
                "systemctl stop '" +
                instance + ".service') and start this one again.\n");
  // The same file under another name is the same configuration: nothing more to do.
  ChildProcess again = Start(folder_.Path("pictures/../running.con"));
  EXPECT_EQ(again.Wait(), 0);
  EXPECT_EQ(again.ReadErrors(), instance + " is already running; nothing more to do.\n");

  EXPECT_EQ(first.Wait(SIGTERM), 0);
  // Its record goes with it: the next start on the port serves.
  ChildProcess next = Start(saved);
  EXPECT_EQ(BannerPort(next.ReadLine()), port);
  EXPECT_EQ(next.Wait(SIGTERM), 0);
}

}  // namespace
