// Test helper: the real server binary as a child process whose standard output is a pipe.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

// Started with the configuration file `config`; killed when destroyed unless terminated.
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
  pid_t pid() const { return pid_; }
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
