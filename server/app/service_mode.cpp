#include "server/app/service_mode.h"

#include <cstdio>

#include "platform/service_manager.h"
#include "platform/stop_signal.h"
#include "server/app/console_mode.h"
#include "server/app/lumenvale_server.h"

std::string InstanceName(uint16_t port) {
  return "Lumenvale:" + std::to_string(port);
}

int RunService(const ServerSettings& settings) {
  platform::CatchStopSignals();
  std::string port = std::to_string(settings.port);
  platform::NotifyServiceManager("STATUS=Starting on port " + port);
  LumenvaleServer server(settings);
  if (!StartAndAnnounce(server, settings)) {
    // systemd sees the process fail before it was ready, and marks the start failed.
    platform::NotifyServiceManager("STATUS=Could not listen on port " + port);
    return 1;
  }
  platform::NotifyServiceManager("READY=1\nSTATUS=Serving on port " +
                                 std::to_string(server.ListeningPort()));
  // SIGTERM is systemd's stop: the turn in progress finishes first.
  while (!platform::StopSignalled()) server.Step();
  platform::NotifyServiceManager("STOPPING=1\nSTATUS=Stopping");
  server.Stop();
  return 0;
}
