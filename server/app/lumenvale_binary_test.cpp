// Starts the real server binary on a temporary gallery and talks HTTP to it on 127.0.0.1.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "common/config/password_hash.h"
#include "platform/test_folder.h"
#include "server/net/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

// The server as a child process whose standard output is a pipe.
class ServerProcess {
 public:
  explicit ServerProcess(const std::string& config) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      execl(LUMENVALE_BINARY, LUMENVALE_BINARY, config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
  }
  ~ServerProcess() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) fclose(out_);
  }
  std::string ReadLine() {
    char line[4096];
    return out_ != nullptr && fgets(line, sizeof line, out_) != nullptr ? line : "";
  }
  // Sends SIGTERM and returns the exit status.
  int Terminate() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  bool waited_ = false;
};

TEST(LumenvaleBinaryTest, StartsAnnouncesServesAndStopsCleanly) {
  TestFolder folder;
  std::string pictures = folder.Path("pictures");
  std::string config =
      folder.Write("gallery.con", "<PATH>" + pictures + "</PATH>\r\n<PORT>0</PORT>\r\n");
  ServerProcess server(config);
  std::string banner = server.ReadLine();
  std::smatch match;
  ASSERT_TRUE(std::regex_search(banner, match,
                                std::regex("^Lumenvale is serving http://localhost:(\\d+)/ from "
                                           "(.*) \\(missing\\)\n$")))
      << banner;
  EXPECT_EQ(match[2], pictures);
  int port = std::stoi(match[1]);
  std::string response = Exchange(port, "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(response.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  EXPECT_EQ(server.Terminate(), 0);
}

// The status page is part of the gallery: with users required it needs their credentials.
TEST(LumenvaleBinaryTest, StatusPageIsBehindDigest) {
  TestFolder folder;
  std::string hash;
  ASSERT_TRUE(PasswordHash("anna", "pw", &hash));
  std::string config =
      folder.Write("gallery.con", "<PATH>" + folder.Path("pictures") +
                                      "</PATH>\r\n<PORT>0</PORT>\r\n<NEED_USER>1</NEED_USER>\r\n"
                                      "<USER><USER_NAME>anna</USER_NAME><HASH>" +
                                      hash + "</HASH><PRIV>0</PRIV></USER>\r\n");
  ServerProcess server(config);
  std::smatch match;
  std::string banner = server.ReadLine();
  ASSERT_TRUE(std::regex_search(banner, match, std::regex("localhost:(\\d+)/"))) << banner;
  const std::string port = match[1];
  std::string response = Exchange(std::stoi(port), "GET /info HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(response.substr(0, 13), "HTTP/1.1 401 ") << response;
  EXPECT_EQ(response.find("Config file:"), std::string::npos);

  std::string page;
  std::unique_ptr<FILE, int (*)(FILE*)> curl(
      popen(("curl -s --digest -u anna:pw http://127.0.0.1:" + port + "/info").c_str(), "r"),
      pclose);
  ASSERT_TRUE(curl);
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, curl.get())) > 0;) page.append(buffer, n);
  EXPECT_NE(page.find("Config file:Loaded.<br>"), std::string::npos) << page;
  EXPECT_EQ(server.Terminate(), 0);
}

}  // namespace
