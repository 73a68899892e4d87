// Test helper: a program (the real server binary, or what a test runs beside it) as a child
// process, with its own environment and its standard output and error read through pipes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Environment changes for the child: a value sets the variable, std::nullopt removes it.
  using Environment = std::map<std::string, std::optional<std::string>>;

  // Runs `argv[0]` (a path, or a name looked up in PATH) with `argv`. LUMENVALE_USER is
  // "root" unless `env` says otherwise, so a server started by a test run as root reads the
  // test's root-owned files as root (and without capabilities), as it does when not root.
  ChildProcess(const std::vector<std::string>& argv, const Environment& env);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

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

// The environment of a server started in console mode: no display, not under systemd, and
// `unit_folder` as the folder its service unit would be looked for in.
ChildProcess::Environment ConsoleEnvironment(const std::string& unit_folder);
// The port in the start-up line "... http://localhost:PORT/ ...", 0 when it names none.
int BannerPort(const std::string& banner);
// The configuration text of a gallery on `folder` served on `port`.
std::string GalleryConfig(const std::string& folder, int port);
// A TCP port that nothing listens on just now.
int FreePort();
// Whether a process's resident memory says anything about the code: a sanitizer's shadow
// memory and quarantine make the figure meaningless.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryIsMeaningful = false;
#else
constexpr bool kResidentMemoryIsMeaningful = true;
#endif
// The peak resident memory of process `pid` in bytes (VmHWM), 0 when unknown.
uint64_t PeakResidentBytes(pid_t pid);
// The same bytes on every machine: a linear congruential generator's high bytes.
std::string PseudoRandomBytes(size_t size, uint32_t seed);
