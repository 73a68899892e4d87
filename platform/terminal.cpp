#include "platform/terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace platform {

namespace {

termios saved_terminal;  // the terminal's settings while echo is off

// Ctrl-C while echo is off: the terminal gets its echo back before the process ends as the
// signal would have ended it.
void RestoreTerminalAndEnd(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

bool InputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
  bool hidden = InputIsTerminal() && tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
  struct sigaction restore = {}, previous_interrupt, previous_quit, previous_terminate;
  if (hidden) {
    restore.sa_handler = RestoreTerminalAndEnd;
    sigaction(SIGINT, &restore, &previous_interrupt);
    sigaction(SIGQUIT, &restore, &previous_quit);
    sigaction(SIGTERM, &restore, &previous_terminate);
    termios quiet = saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the line end still shows, so the next output starts afresh
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Asked only now: what is typed after the question must not meet the flush above.
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  bool read = static_cast<bool>(std::getline(std::cin, *line));
  if (hidden) {
    tcsetattr(STDIN_FILENO, TCSADRAIN, &saved_terminal);  // keeps what is typed ahead
    sigaction(SIGINT, &previous_interrupt, nullptr);
    sigaction(SIGQUIT, &previous_quit, nullptr);
    sigaction(SIGTERM, &previous_terminate, nullptr);
  }
  if (read && !line->empty() && line->back() == '\r') line->pop_back();
  return read;
}

}  // namespace platform
