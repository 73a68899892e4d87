// Test helper: the real server binary as a child process, with its own environment and its
// standard output and error read through pipes.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

class ServerProcess {
 public:
  // Environment changes for the child: a value sets the variable, std::nullopt removes it.
  using Environment = std::map<std::string, std::optional<std::string>>;

  ServerProcess(const std::string& binary, const std::string& config, const Environment& env);
  ~ServerProcess();  // kills the child if it still runs
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The next line of standard output, "\n" included; "" when none came within `timeout_ms`
  // or the output ended.
  std::string ReadLine(int timeout_ms = 10000);
  // Everything on standard error until the child closes it (at its exit), at most
  // `timeout_ms`.
  std::string ReadErrors(int timeout_ms = 10000);
  // Sends `signal` (0: none) and waits at most `timeout_ms` for the exit; the exit status,
  // -1 when it was ended by a signal, -2 when it did not end in time.
  int Wait(int signal = 0, int timeout_ms = 10000);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_buffer_;
  bool exited_ = false;
};

// The configuration text of a gallery on `folder` served on `port`.
std::string GalleryConfig(const std::string& folder, int port);
// A TCP port that nothing listens on just now.
int FreePort();
