#include "server/app/command_line.h"

#include <cstdio>
#include <string_view>

#ifndef LUMENVALE_VERSION
#error "LUMENVALE_VERSION must be the project's version"
#endif

std::string HelpText() {
  return "Usage: lumenvale [CONFIG]\n"
         "       lumenvale --help | --version\n"
         "\n"
         "Serves the pictures of the folders named in the configuration file CONFIG as a\n"
         "web gallery. CONFIG is a .con file written by quillon (see quillon --help); a\n"
         "path with blanks may be given in double quotes. Without CONFIG the server\n"
         "serves the user's pictures folder on port 12345.\n"
         "\n"
         "Started as root, it serves as the user named by LUMENVALE_USER, else as the\n"
         "owner of CONFIG, else as nobody, once it has bound its port.\n"
         "\n"
         "In a graphical session with a system tray the server shows a tray icon (package\n"
         "lumenvale-tray); otherwise it serves in the console until Ctrl-C or SIGTERM.\n"
         "\n"
         "As a service: `quillon install-service CONFIG` installs and enables the systemd\n"
         "unit Lumenvale:PORT.service. While that unit is installed the server does not\n"
         "start by hand; use: systemctl start 'Lumenvale:PORT.service'. Under a unit of\n"
         "any other name (Type=notify) it tells systemd when it is ready and when it\n"
         "stops.\n"
         "\n"
         "More: man lumenvale, and the README in /usr/share/doc/lumenvale/.\n";
}

std::string VersionText() {
  return std::string("lumenvale ") + LUMENVALE_VERSION + "\n";
}

bool AnswerHelpOrVersion(int argc, char** argv, int* exit_status) {
  if (argc != 2) return false;
  std::string_view argument = argv[1];
  if (argument != "--help" && argument != "--version") return false;
  std::fputs((argument == "--help" ? HelpText() : VersionText()).c_str(), stdout);
  *exit_status = 0;
  return true;
}
