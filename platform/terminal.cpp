#include "platform/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace platform {

bool InputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  termios saved;
  bool hidden = InputIsTerminal() && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (hidden) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the line end still shows, so the next output starts afresh
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  bool read = static_cast<bool>(std::getline(std::cin, *line));
  if (hidden) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (read && !line->empty() && line->back() == '\r') line->pop_back();
  return read;
}

}  // namespace platform
