#include "server/app/console_mode.h"

#include <cstdio>
#include <string>

#include "platform/service_manager.h"
#include "platform/stop_signal.h"
#include "server/app/startup_banner.h"
#include "server/app/tray_menu.h"

bool StartAndAnnounce(LumenvaleServer& server, const ServerSettings& settings) {
  std::string port = std::to_string(settings.port);
  platform::NotifyServiceManager("STATUS=Starting on port " + port);
  std::string tls_error;
  if (!server.PrepareTls(&tls_error)) {
    std::fprintf(stderr, "%s. Nothing is served.\n", tls_error.c_str());
    platform::NotifyServiceManager("STATUS=" + tls_error);
    return false;
  }
  // The mapping is made on a thread of its own, after the start lines: its line comes then.
  server.OnPortMapped([&server] { std::fflush(stdout); });
  if (!server.Start()) {
    std::fprintf(stderr, "Could not listen on port %u (is it in use?).\n", settings.port);
    // systemd sees the process fail before it was ready, and marks the start failed.
    platform::NotifyServiceManager("STATUS=Could not listen on port " + port);
    return false;
  }
  std::printf("%s\n%s\nFrom other devices on this network:\n%s",
              StartupBanner(settings, server.ListeningPort()).c_str(), LoginLine(settings).c_str(),
              MenuAddressLines(server.BaseAddress()).c_str());
  if (const CertificateStore* certificates = server.certificates()) {
    std::printf("%s", CertificateLine(*certificates).c_str());
  }
  std::fflush(stdout);
  platform::NotifyServiceManager("READY=1\nSTATUS=Serving on port " +
                                 std::to_string(server.ListeningPort()));
  return true;
}

void StopAndAnnounce(LumenvaleServer& server) {
  platform::NotifyServiceManager("STOPPING=1\nSTATUS=Stopping");
  server.Stop();
}

int RunConsole(const ServerSettings& settings) {
  platform::CatchStopSignals();
  LumenvaleServer server(settings);
  if (!StartAndAnnounce(server, settings)) return 1;
  if (!platform::StartedByServiceManager()) {
    std::printf("Stop with Ctrl-C.\n");
    std::fflush(stdout);
  }
  // SIGTERM is also systemd's stop: the turn in progress finishes first.
  while (!platform::StopSignalled()) server.Step();
  StopAndAnnounce(server);
  return 0;
}
