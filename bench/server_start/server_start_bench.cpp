// Time from starting the server program to its first answered request: the program is started,
// 127.0.0.1:PORT is asked for "/" every millisecond, and the first status line ends the
// measurement. The server is then stopped with SIGTERM.
//
// Usage: server_start_bench LUMENVALE CONFIG PORT REPEATS LABEL
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/support/bench_gallery.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

// True when a GET / on 127.0.0.1:port was answered with a status line.
bool Answered(int port) {
  int s = ConnectLoopback(port);
  if (s < 0) return false;
  const bool answered = SendAll(s, "GET / HTTP/1.1\r\nHost: bench\r\n\r\n") &&
                        ReadUntilClosed(s, 5000).starts_with("HTTP/1.1 ");
  CloseClient(s);
  return answered;
}

// Starts the server, returns the milliseconds to its first answer (or -1), stops it.
double StartToFirstAnswer(const char* binary, const char* config, int port) {
  const double start = NowMs();
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    execl(binary, binary, config, static_cast<char*>(nullptr));
    _exit(127);
  }
  double elapsed = -1;
  while (NowMs() - start < 120000) {
    if (Answered(port)) {
      elapsed = NowMs() - start;
      break;
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
    usleep(1000);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s LUMENVALE CONFIG PORT REPEATS LABEL\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[3]);
  const int repeats = std::atoi(argv[4]);
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) {
    double ms = StartToFirstAnswer(argv[1], argv[2], port);
    if (ms < 0) {
      std::printf("%s: the server never answered\n", argv[5]);
      return 1;
    }
    times.push_back(ms);
  }
  std::printf("%-46s median %9.1f ms over %d start(s)\n", argv[5], Median(times), repeats);
  return 0;
}
