// Starts the real server binary on a temporary gallery and talks HTTP to it on 127.0.0.1:
// console mode, the single-instance rule, service mode against a fake systemd, and the
// capabilities it gives up.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/config/password_hash.h"
#include "platform/local_address.h"
#include "platform/tcp_socket.h"
#include "platform/testing/test_folder.h"
#include "server/app/command_line.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

const char kNotFound[] = "HTTP/1.1 404 Not Found\r\n";

// A gallery folder, its configuration and an empty unit folder, so that nothing installed on
// this machine decides the mode.
class Gallery {
 public:
  explicit Gallery(int port) {
    std::filesystem::create_directories(folder_.Path("pictures"));
    std::filesystem::create_directories(folder_.Path("units"));
    config_ = folder_.Write("gallery.con", GalleryConfig(folder_.Path("pictures"), port));
  }
  const std::string& config() const { return config_; }
  const TestFolder& folder() const { return folder_; }

  ChildProcess::Environment ConsoleEnvironment() const {
    return ::ConsoleEnvironment(folder_.Path("units"));
  }
  ChildProcess Start() const {
    return ChildProcess({LUMENVALE_BINARY, config_}, ConsoleEnvironment());
  }

 private:
  TestFolder folder_;
  std::string config_;
};

// Reads the start-up banner and returns the port it names, 0 when it did not come.
int ReadBannerPort(ChildProcess& server) {
  std::smatch match;
  std::string banner = server.ReadLine();
  if (!std::regex_search(banner, match,
                         std::regex("^Lumenvale is serving http://localhost:(\\d+)/ ")))
    return 0;
  return std::stoi(match[1]);
}

std::string Get(int port, const std::string& target) {
  return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 24);
}

TEST(LumenvaleBinaryTest, ConsolePrintsTheAddressesOnceAndStopsOnEachStopSignal) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    Gallery gallery(0);
    ChildProcess server = gallery.Start();
    std::string banner = server.ReadLine();
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        banner, match,
        std::regex("^Lumenvale is serving http://localhost:(\\d+)/ from (.*) \\(empty\\)\n$")))
        << banner;
    EXPECT_EQ(match[2], gallery.folder().Path("pictures"));
    std::string port = match[1];
    std::string base = "http://" + platform::LocalIpv4Address() + ":" + port;
    std::vector<std::string> expected = {
        "Login is off: anyone who reaches the port sees the pictures (NEED_USER 0).\n",
        "From other devices on this network:\n",
        "  " + base + "            メイン画面を表示\n",
        "  " + base + "/slideshow  スライドショー開始(全ファイル)\n",
        "  " + base + "/Uploader   アップローダを開く\n",
        "  " + base + "/info       ステータス情報を開く\n",
        "Stop with Ctrl-C.\n",
    };
    for (const std::string& line : expected) EXPECT_EQ(server.ReadLine(), line);
    EXPECT_EQ(Get(std::stoi(port), "/nothing"), kNotFound);
    EXPECT_EQ(server.ReadLine(200), "");  // nothing more is printed while it serves
    EXPECT_EQ(server.Wait(signal), 0);
    EXPECT_EQ(server.ReadErrors(), "");
  }
}

TEST(LumenvaleBinaryTest, DisplayWithoutTrayFallsBackToTheConsole) {
  Gallery gallery(0);
  ChildProcess::Environment env = gallery.ConsoleEnvironment();
  env["DISPLAY"] = ":65000";  // no X server there
  ChildProcess server({LUMENVALE_BINARY, gallery.config()}, env);
  std::string line;
  for (int i = 0; i < 8 && line != "Stop with Ctrl-C.\n"; ++i) line = server.ReadLine();
  EXPECT_EQ(line, "Stop with Ctrl-C.\n");
  EXPECT_EQ(server.Wait(SIGTERM), 0);
}

// Without the tray package the server, copied away from its plug-in, says what is missing
// and serves in the console.
TEST(LumenvaleBinaryTest, DisplayWithoutTheTrayPluginServesInTheConsoleSayingWhy) {
  Gallery gallery(0);
  std::filesystem::create_directories(gallery.folder().Path("bin"));
  std::string copy = gallery.folder().Path("bin/lumenvale");
  std::filesystem::copy_file(LUMENVALE_BINARY, copy);
  ChildProcess::Environment env = gallery.ConsoleEnvironment();
  env["DISPLAY"] = ":65000";
  ChildProcess server({copy, gallery.config()}, env);
  EXPECT_NE(BannerPort(server.ReadLine()), 0);
  EXPECT_EQ(server.Wait(SIGTERM), 0);
  std::string errors = server.ReadErrors();
  EXPECT_TRUE(std::regex_match(errors, std::regex("No tray icon \\(.*/lumenvale-tray\\.so: .*\\); "
                                                  "serving in the console\\. The tray comes "
                                                  "with the package lumenvale-tray\\.\n")))
      << errors;
}

TEST(LumenvaleBinaryTest, SecondStartOnTheSamePortEndsAtOnceAndAnotherPortRunsBeside) {
  int port = FreePort();
  Gallery gallery(port);
  ChildProcess first = gallery.Start();
  ASSERT_EQ(ReadBannerPort(first), port);

  ChildProcess second = gallery.Start();
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_EQ(second.ReadErrors(),
            "Lumenvale:" + std::to_string(port) + " is already running; nothing more to do.\n");
  EXPECT_EQ(second.ReadLine(100), "");
  EXPECT_EQ(Get(port, "/nothing"), kNotFound);

  int other_port = FreePort();
  Gallery other(other_port);
  ChildProcess beside = other.Start();
  ASSERT_EQ(ReadBannerPort(beside), other_port);
  EXPECT_EQ(Get(port, "/nothing"), kNotFound);
  EXPECT_EQ(Get(other_port, "/nothing"), kNotFound);
  EXPECT_EQ(beside.Wait(SIGTERM), 0);
  EXPECT_EQ(first.Wait(SIGTERM), 0);
}

TEST(LumenvaleBinaryTest, PortInUseIsAnErrorNotAServerThatServesNothing) {
  platform::SocketHandle taken = platform::ListenTcp("0", 1);
  int port = platform::LocalPort(taken);
  Gallery gallery(port);
  ChildProcess server = gallery.Start();
  EXPECT_EQ(server.Wait(), 1);
  EXPECT_EQ(server.ReadErrors(),
            "Could not listen on port " + std::to_string(port) + " (is it in use?).\n");
  platform::CloseSocket(taken);
}

// A Unix datagram socket standing in for systemd's notification socket.
class FakeNotifySocket {
 public:
  explicit FakeNotifySocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    timeval timeout = {10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~FakeNotifySocket() { close(fd_); }
  // The next notification, "" when none came within 10 s.
  std::string Next() {
    char message[4096];
    ssize_t count = recv(fd_, message, sizeof message, 0);
    return count > 0 ? std::string(message, static_cast<size_t>(count)) : "";
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// The environment systemd gives a service, with the unit installed in the gallery's folder.
ChildProcess::Environment ServiceEnvironment(const Gallery& gallery, int port,
                                             const FakeNotifySocket& notify) {
  gallery.folder().Write("units/Lumenvale:" + std::to_string(port) + ".service",
                         "[Service]\nType=notify\n");
  ChildProcess::Environment env = gallery.ConsoleEnvironment();
  env["INVOCATION_ID"] = "0123456789abcdef0123456789abcdef";
  env["NOTIFY_SOCKET"] = notify.path();
  return env;
}

TEST(LumenvaleBinaryTest, ServiceReportsReadyOnlyOnceListeningAndStoppingOnSigterm) {
  int port = FreePort();
  Gallery gallery(port);
  FakeNotifySocket notify(gallery.folder().Path("notify"));
  ChildProcess server({LUMENVALE_BINARY, gallery.config()},
                      ServiceEnvironment(gallery, port, notify));
  std::string p = std::to_string(port);
  EXPECT_EQ(notify.Next(), "STATUS=Starting on port " + p);
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Serving on port " + p);
  EXPECT_EQ(Get(port, "/nothing"), kNotFound);
  EXPECT_EQ(server.Wait(SIGTERM), 0);
  EXPECT_EQ(notify.Next(), "STOPPING=1\nSTATUS=Stopping");
}

TEST(LumenvaleBinaryTest, ServiceThatCannotListenFailsWithoutReportingReady) {
  platform::SocketHandle taken = platform::ListenTcp("0", 1);
  int port = platform::LocalPort(taken);
  Gallery gallery(port);
  FakeNotifySocket notify(gallery.folder().Path("notify"));
  ChildProcess server({LUMENVALE_BINARY, gallery.config()},
                      ServiceEnvironment(gallery, port, notify));
  std::string p = std::to_string(port);
  EXPECT_EQ(server.Wait(), 1);
  EXPECT_EQ(notify.Next(), "STATUS=Starting on port " + p);
  EXPECT_EQ(notify.Next(), "STATUS=Could not listen on port " + p);
  EXPECT_EQ(server.ReadErrors(), "Could not listen on port " + p + " (is it in use?).\n");
  platform::CloseSocket(taken);
}

TEST(LumenvaleBinaryTest, InstalledServiceStartedByHandEndsAtOnceSayingHow) {
  int port = FreePort();
  Gallery gallery(port);
  FakeNotifySocket notify(gallery.folder().Path("notify"));
  ChildProcess::Environment env = ServiceEnvironment(gallery, port, notify);
  env["INVOCATION_ID"] = std::nullopt;
  ChildProcess server({LUMENVALE_BINARY, gallery.config()}, env);
  std::string unit = "Lumenvale:" + std::to_string(port) + ".service";
  EXPECT_EQ(server.Wait(), 0);
  EXPECT_EQ(server.ReadErrors(), "Lumenvale:" + std::to_string(port) +
                                     " is installed as the systemd service " + unit +
                                     "; start it with: systemctl start '" + unit + "'\n");
  EXPECT_EQ(server.ReadLine(100), "");
}

// systemd's notifications do not depend on the unit's name: under a unit of the user's own
// naming (INVOCATION_ID set) and under anything else that hands the server NOTIFY_SOCKET, the
// console loop reports as the service does, and the Ctrl-C hint is left to a terminal.
TEST(LumenvaleBinaryTest, NotifiesSystemdUnderAnyUnitName) {
  for (bool started_by_systemd : {true, false}) {
    SCOPED_TRACE(started_by_systemd);
    int port = FreePort();
    Gallery gallery(port);
    FakeNotifySocket notify(gallery.folder().Path("notify"));
    ChildProcess::Environment env = gallery.ConsoleEnvironment();
    env["NOTIFY_SOCKET"] = notify.path();
    if (started_by_systemd) env["INVOCATION_ID"] = "0123456789abcdef0123456789abcdef";
    ChildProcess server({LUMENVALE_BINARY, gallery.config()}, env);
    std::string p = std::to_string(port);
    EXPECT_EQ(notify.Next(), "STATUS=Starting on port " + p);
    EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=Serving on port " + p);
    EXPECT_EQ(Get(port, "/nothing"), kNotFound);
    std::string last;
    for (std::string line; !(line = server.ReadLine(300)).empty();) last = line;
    EXPECT_EQ(last == "Stop with Ctrl-C.\n", !started_by_systemd) << last;
    EXPECT_EQ(server.Wait(SIGTERM), 0);
    EXPECT_EQ(notify.Next(), "STOPPING=1\nSTATUS=Stopping");
  }
}

// The two forms no configuration path takes print and exit, reading no file and serving
// nothing; anything else beside them is a configuration path as before.
TEST(LumenvaleBinaryTest, HelpAndVersionPrintAndExit) {
  TestFolder folder;
  struct Case {
    const char* argument;
    std::string expected;
  } cases[] = {{"--help", HelpText()}, {"--version", VersionText()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    ChildProcess program({LUMENVALE_BINARY, c.argument}, ConsoleEnvironment(folder.Path("units")));
    std::string out;
    for (std::string line; !(line = program.ReadLine()).empty();) out += line;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_EQ(program.ReadErrors(), "");
  }
  EXPECT_TRUE(std::regex_match(VersionText(), std::regex("lumenvale \\d+\\.\\d+\\.\\d+\n")));
  EXPECT_NE(HelpText().find("Usage: lumenvale [CONFIG]\n"), std::string::npos);
  for (const char* named : {"quillon", "Lumenvale:PORT.service", "README"}) {
    EXPECT_NE(HelpText().find(named), std::string::npos) << named;
  }
}

// The capability set named by `field` ("CapBnd", ...) of a process, as a bit mask.
uint64_t CapabilitySet(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::stoull(line.substr(field.size() + 1), nullptr, 16);
  }
  return ~0ull;
}

// Kept as root on purpose (LUMENVALE_USER=root, as every test's server is), the server still
// holds no capability once it listens, and nothing it runs can gain any.
TEST(LumenvaleBinaryTest, StartedAsRootAndKeptRootHoldsNoCapabilityAndServes) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  Gallery gallery(0);
  ChildProcess server = gallery.Start();
  int port = ReadBannerPort(server);
  ASSERT_NE(port, 0);
  for (const char* set : {"CapBnd", "CapPrm", "CapEff", "CapInh", "CapAmb"}) {
    EXPECT_EQ(CapabilitySet(server.pid(), set), 0u) << set;
  }
  EXPECT_EQ(Get(port, "/nothing"), kNotFound);
  EXPECT_EQ(server.Wait(SIGTERM), 0);
  EXPECT_EQ(server.ReadErrors(), "");
}

// The status page is part of the gallery: with users required it needs the credentials of a
// user who may upload; another user is refused.
TEST(LumenvaleBinaryTest, StatusPageIsBehindDigest) {
  Gallery gallery(0);
  TestFolder folder;
  std::string hash, viewer_hash;
  ASSERT_TRUE(PasswordHash("anna", "pw", &hash));
  ASSERT_TRUE(PasswordHash("ben", "pw", &viewer_hash));
  const std::string config = folder.Write(
      "users.con", GalleryConfig(gallery.folder().Path("pictures"), 0) +
                       "<NEED_USER>1</NEED_USER>\r\n<USER><USER_NAME>anna</USER_NAME><HASH>" +
                       hash + "</HASH><PRIV>1</PRIV></USER>\r\n<USER><USER_NAME>ben</USER_NAME><HASH>" +
                       viewer_hash + "</HASH><PRIV>0</PRIV></USER>\r\n");
  ChildProcess server({LUMENVALE_BINARY, config}, gallery.ConsoleEnvironment());
  const int port = ReadBannerPort(server);
  ASSERT_NE(port, 0);
  EXPECT_EQ(Get(port, "/info").substr(0, 13), "HTTP/1.1 401 ");

  std::string page;
  const std::string curl =
      "curl -s --digest -u anna:pw http://127.0.0.1:" + std::to_string(port) + "/info";
  std::unique_ptr<FILE, int (*)(FILE*)> out(popen(curl.c_str(), "r"), pclose);
  ASSERT_TRUE(out);
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, out.get())) > 0;) page.append(buffer, n);
  EXPECT_NE(page.find("Config file:Loaded.<br>"), std::string::npos) << page;
  const std::string viewer = "curl -s -o /dev/null -w %{http_code} --digest -u ben:pw http://127.0.0.1:" +
                             std::to_string(port) + "/info";
  std::unique_ptr<FILE, int (*)(FILE*)> status(popen(viewer.c_str(), "r"), pclose);
  ASSERT_TRUE(status);
  const size_t n = fread(buffer, 1, sizeof buffer, status.get());
  EXPECT_EQ(std::string(buffer, n), "403");
  EXPECT_EQ(server.Wait(SIGTERM), 0);
}

}  // namespace
