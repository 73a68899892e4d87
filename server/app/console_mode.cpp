#include "server/app/console_mode.h"

#include <cstdio>

#include "platform/stop_signal.h"
#include "server/app/startup_banner.h"
#include "server/app/tray_menu.h"

bool StartAndAnnounce(LumenvaleServer& server, const ServerSettings& settings) {
  if (!server.Start()) {
    std::fprintf(stderr, "Could not listen on port %u (is it in use?).\n", settings.port);
    return false;
  }
  std::printf("%s\nFrom other devices on this network:\n%s",
              StartupBanner(settings, server.ListeningPort()).c_str(),
              MenuAddressLines(server.BaseAddress()).c_str());
  std::fflush(stdout);
  return true;
}

int RunConsole(const ServerSettings& settings) {
  platform::CatchStopSignals();
  LumenvaleServer server(settings);
  if (!StartAndAnnounce(server, settings)) return 1;
  std::printf("Stop with Ctrl-C.\n");
  std::fflush(stdout);
  while (!platform::StopSignalled()) server.Step();
  server.Stop();
  return 0;
}
