// Starts the real server binary on a temporary gallery and talks HTTP to it on 127.0.0.1.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

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

}  // namespace
