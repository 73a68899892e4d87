#include "server/app/testing/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "platform/tcp_socket.h"

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads what is there within the time left; false at the end of the output or time-out.
bool ReadSome(int fd, std::string* into, int64_t deadline_ms) {
  pollfd watch = {fd, POLLIN, 0};
  int left = static_cast<int>(deadline_ms - NowMs());
  if (left <= 0 || poll(&watch, 1, left) <= 0) return false;
  char chunk[4096];
  ssize_t count = read(fd, chunk, sizeof chunk);
  if (count <= 0) return false;
  into->append(chunk, static_cast<size_t>(count));
  return true;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& env) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    // Tests run as root as well: their servers read the root-owned test folders as root
    // unless the test names another user to serve as.
    setenv("LUMENVALE_USER", "root", 1);
    for (const auto& [name, value] : env) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

std::string ChildProcess::ReadLine(int timeout_ms) {
  int64_t deadline = NowMs() + timeout_ms;
  size_t end;
  while ((end = out_buffer_.find('\n')) == std::string::npos) {
    if (!ReadSome(out_, &out_buffer_, deadline)) return "";
  }
  std::string line = out_buffer_.substr(0, end + 1);
  out_buffer_.erase(0, end + 1);
  return line;
}

std::string ChildProcess::ReadErrors(int timeout_ms) {
  int64_t deadline = NowMs() + timeout_ms;
  std::string text;
  while (ReadSome(err_, &text, deadline)) {
  }
  return text;
}

int ChildProcess::Wait(int signal, int timeout_ms) {
  if (signal != 0) kill(pid_, signal);
  int64_t deadline = NowMs() + timeout_ms;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (NowMs() >= deadline) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  exited_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ChildProcess::Environment ConsoleEnvironment(const std::string& unit_folder) {
  return {{"DISPLAY", std::nullopt},
          {"WAYLAND_DISPLAY", std::nullopt},
          {"INVOCATION_ID", std::nullopt},
          {"NOTIFY_SOCKET", std::nullopt},
          {"SYSTEMD_UNIT_PATH", unit_folder}};
}

int BannerPort(const std::string& banner) {
  std::smatch match;
  if (!std::regex_search(banner, match, std::regex("localhost:(\\d+)/"))) return 0;
  return std::stoi(match[1]);
}

std::string GalleryConfig(const std::string& folder, int port) {
  return "<PATH>" + folder + "</PATH>\r\n<PORT>" + std::to_string(port) + "</PORT>\r\n";
}

int FreePort() {
  platform::SocketHandle probe = platform::ListenTcp("0", 1);
  int port = platform::LocalPort(probe);
  platform::CloseSocket(probe);
  return port;
}

uint64_t PeakResidentBytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return 0;
}

std::string PseudoRandomBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}
