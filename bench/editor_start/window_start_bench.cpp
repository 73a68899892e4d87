// Times programs from their start to their first window shown (mapped) on the X display:
// `window_start_bench RUNS PROGRAM...` starts each program RUNS times, taking turns so machine
// load falls on all alike, ends each start with SIGTERM, and prints the median per program.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/support/bench_gallery.h"

extern char** environ;

namespace {

// Waits up to `timeout_ms` for a top-level window to be mapped; false on time-out.
bool WaitForMappedWindow(Display* display, double timeout_ms) {
  double deadline = NowMs() + timeout_ms;
  for (;;) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect) return true;
    }
    double left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left) + 1);
  }
}

// Milliseconds from spawning `program` to its first window, or -1.
double TimeStart(Display* display, const char* program) {
  XSync(display, True);  // drop events left from the previous start
  char* argv[] = {const_cast<char*>(program), nullptr};
  double start = NowMs();
  pid_t pid;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) return -1;
  bool shown = WaitForMappedWindow(display, 20000);
  double elapsed = NowMs() - start;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return shown ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_start_bench RUNS PROGRAM...\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  int runs = std::atoi(argv[1]);
  std::vector<std::vector<double>> times(argc - 2);
  for (int run = 0; run < runs; ++run) {
    for (int p = 2; p < argc; ++p) {
      double ms = TimeStart(display, argv[p]);
      if (ms < 0) {
        std::fprintf(stderr, "%s showed no window\n", argv[p]);
        return 1;
      }
      times[p - 2].push_back(ms);
    }
  }
  for (int p = 2; p < argc; ++p) {
    std::printf("%-40s start to shown window: median %.1f ms over %d starts\n", argv[p],
                Median(times[p - 2]), runs);
  }
  XCloseDisplay(display);
  return 0;
}
