// The quillon program itself: its help, what it says without a display, and a gallery made
// with its commands alone, whose user then logs in to the real server with curl --digest.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "editor/command_line.h"
#include "platform/tcp_socket.h"
#include "platform/testing/test_folder.h"

#ifndef QUILLON_BINARY
#error "QUILLON_BINARY must name the editor executable"
#endif
#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

struct Result {
  int status;
  std::string output;  // standard output, then standard error when asked for
};

// Runs `command` in the shell without a display; standard input from `input`.
Result Shell(const std::string& command, const std::string& input = "") {
  std::string line = "printf '%s' '" + input + "' | env -u DISPLAY -u WAYLAND_DISPLAY " + command;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), pclose);
  std::string output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);
  int status = pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string Quillon(const std::string& arguments) {
  return std::string(QUILLON_BINARY) + " " + arguments;
}

TEST(QuillonBinaryTest, HelpAndTheWayOutWithoutADisplay) {
  EXPECT_EQ(Shell(Quillon("--help")).output, EditorHelpText());
  EXPECT_EQ(Shell(Quillon("--help")).status, 0);
  const std::string no_display =
      "Quillon's dialog needs a display, and none can be reached. Without one, edit\n"
      "the file with Quillon's commands:\n\n" +
      EditorHelpText();
  for (const char* arguments : {"", "some.con"}) {
    SCOPED_TRACE(arguments);
    Result result = Shell(Quillon(arguments) + " 2>&1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, no_display);
  }
  // A display that is named but cannot be reached: the same answer, after Qt's own
  // complaint, instead of an abort.
  Result unreachable = Shell("DISPLAY=:65000 " + Quillon("2>&1"));
  EXPECT_EQ(unreachable.status, 1);
  ASSERT_GE(unreachable.output.size(), no_display.size());
  EXPECT_EQ(unreachable.output.substr(unreachable.output.size() - no_display.size()), no_display);

  Result malformed = Shell(Quillon("set only.con 2>&1"));
  EXPECT_EQ(malformed.status, 2);
  EXPECT_EQ(malformed.output,
            "quillon: usage: quillon set FILE KEY VALUE\nquillon --help lists the commands.\n");
}

// quillon add-user CONFIG anna on a pseudo-terminal, without a display; `terminal` is the
// terminal's other end, where the test types and reads.
pid_t AddUserOnTerminal(const std::string& config, int* terminal) {
  pid_t child = forkpty(terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execl(QUILLON_BINARY, QUILLON_BINARY, "add-user", config.c_str(), "anna", nullptr);
    _exit(127);
  }
  return child;
}

// Appends what the terminal shows to `shown` until `wanted` has appeared (or 10 s passed).
void ReadUntil(int terminal, const std::string& wanted, std::string* shown) {
  char buffer[1024];
  pollfd ready = {terminal, POLLIN, 0};
  while (shown->find(wanted) == std::string::npos && poll(&ready, 1, 10000) > 0) {
    ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;
    shown->append(buffer, static_cast<size_t>(n));
  }
}

// The wait status of `child`, which is killed when it has not ended within 10 s (stuck at a
// question: the test fails instead of hanging).
int WaitOrKill(pid_t child) {
  int status = 0;
  for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
    if (waited == 100) kill(child, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return status;
}

class QuillonTerminalTest : public testing::Test {
 protected:
  QuillonTerminalTest() {
    std::filesystem::create_directories(folder_.Path("pictures"));
    EXPECT_EQ(Shell(Quillon("add-folder " + config_ + " " + folder_.Path("pictures"))).status, 0);
  }
  TestFolder folder_;
  std::string config_ = folder_.Path("gallery.con");
};

TEST_F(QuillonTerminalTest, APasswordTypedAtATerminalIsAskedTwiceAndNeverShown) {
  int terminal = -1;
  pid_t child = AddUserOnTerminal(config_, &terminal);
  ASSERT_GE(child, 0);
  std::string shown;
  ReadUntil(terminal, "Password for anna: ", &shown);
  ASSERT_EQ(write(terminal, "typed pw\n", 9), 9);
  ReadUntil(terminal, "The same password again: ", &shown);
  ASSERT_EQ(write(terminal, "typed pw\n", 9), 9);
  ReadUntil(terminal, "\r\n" + config_, &shown);
  int status = WaitOrKill(child);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  EXPECT_EQ(shown.find("typed pw"), std::string::npos) << shown;
  EXPECT_NE(shown.find("情報: 設定ファイルの保存が完了しました。"), std::string::npos) << shown;
  ServerSettings read;
  ASSERT_TRUE(read.load(config_));
  ASSERT_EQ(read.users.size(), 1u);
  std::string hash;
  ASSERT_TRUE(PasswordHash("anna", "typed pw", &hash));
  EXPECT_EQ(read.users[0].hash, hash);
}

// Ctrl-C at the password question ends quillon with the terminal's echo back on, and the
// file as it was.
TEST_F(QuillonTerminalTest, CtrlCAtThePasswordLeavesTheTerminalEchoing) {
  std::string before = folder_.Read("gallery.con");
  int terminal = -1;
  pid_t child = AddUserOnTerminal(config_, &terminal);
  ASSERT_GE(child, 0);
  std::string shown;
  ReadUntil(terminal, "Password for anna: ", &shown);
  termios asking;
  ASSERT_EQ(tcgetattr(terminal, &asking), 0);
  EXPECT_EQ(asking.c_lflag & ECHO, 0u);
  ASSERT_EQ(write(terminal, "\x03", 1), 1);
  int status = WaitOrKill(child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  termios after;
  ASSERT_EQ(tcgetattr(terminal, &after), 0);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
  close(terminal);
  EXPECT_EQ(folder_.Read("gallery.con"), before);
}

// The server on `config`, in the console, until the end of the test.
class Server {
 public:
  Server(const std::string& config, const std::string& unit_folder) {
    pid_ = fork();
    if (pid_ == 0) {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("NOTIFY_SOCKET");
      unsetenv("INVOCATION_ID");
      setenv("SYSTEMD_UNIT_PATH", unit_folder.c_str(), 1);
      std::freopen("/dev/null", "w", stdout);
      execl(LUMENVALE_BINARY, LUMENVALE_BINARY, config.c_str(), nullptr);
      _exit(127);
    }
  }
  ~Server() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_;
};

// The HTTP status of `url` fetched with curl's Digest answer for `user`, "000" when nothing
// answered within 5 s.
std::string DigestStatus(const std::string& user, const std::string& url) {
  std::string status;
  for (int attempt = 0; attempt < 50; ++attempt) {
    status = Shell("curl -s -o /dev/null -w '%{http_code}' --digest -u " + user + " " + url).output;
    if (status != "000") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return status;
}

TEST(QuillonBinaryTest, AUserAddedOnTheCommandLineLogsInWithDigest) {
  TestFolder folder;
  std::filesystem::create_directories(folder.Path("pictures"));
  std::filesystem::create_directories(folder.Path("units"));
  std::string config = folder.Path("gallery.con");
  platform::SocketHandle probe = platform::ListenTcp("0", 1);
  std::string port = std::to_string(platform::LocalPort(probe));
  platform::CloseSocket(probe);

  EXPECT_EQ(Shell(Quillon("add-folder " + config + " " + folder.Path("pictures"))).status, 0);
  EXPECT_EQ(Shell(Quillon("set " + config + " PORT " + port)).status, 0);
  // The password comes from the pipe: no terminal, so it is read once, without a question
  // on standard output.
  Result added = Shell(Quillon("add-user " + config + " anna --upload 2>/dev/null"), "s3cret pw\n");
  EXPECT_EQ(added.status, 0);
  EXPECT_EQ(added.output, "情報: 設定ファイルの保存が完了しました。\n" + config + "\n");
  EXPECT_EQ(Shell(Quillon("set " + config + " NEED_USER 1")).status, 0);

  Server server(config, folder.Path("units"));
  std::string url = "http://127.0.0.1:" + port + "/info";
  EXPECT_EQ(DigestStatus("'anna:s3cret pw'", url), "200");
  EXPECT_EQ(DigestStatus("anna:wrong", url), "401");
}

}  // namespace
