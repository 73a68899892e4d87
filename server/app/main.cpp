// The Lumenvale server: `lumenvale [CONFIG]`. Serves until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <string>

#include "common/config/server_settings.h"
#include "server/app/lumenvale_server.h"
#include "server/app/startup_banner.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void RequestStop(int) {
  stop_requested = 1;
}

// The configuration path as one command-line text: the arguments joined by blanks, so a
// quoted path keeps its quotes' meaning and an unquoted one with blanks stays whole.
std::string CommandLine(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  ServerSettings settings;
  settings.load(CommandLine(argc, argv));
  if (argc > 1 && !settings.loaded) {
    std::fprintf(stderr, "Could not read the configuration file %s; using the defaults.\n",
                 argv[1]);
  }

  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);

  LumenvaleServer server(settings);
  if (!server.Start()) {
    std::fprintf(stderr, "Could not listen on port %u (is it in use?).\n", settings.port);
    return 1;
  }
  std::printf("%s\n", StartupBanner(settings, server.ListeningPort()).c_str());
  std::fflush(stdout);
  while (!stop_requested) server.Step();
  server.Stop();
  return 0;
}
