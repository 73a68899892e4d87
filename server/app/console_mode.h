// Running without a tray: the server loop in the main thread until SIGINT or SIGTERM. Under
// systemd this is also the service's loop, whatever the unit is called.
#pragma once

#include "common/config/server_settings.h"
#include "server/app/lumenvale_server.h"

// Starts `server` and prints where it can be reached (the banner and the menu's addresses);
// when it cannot listen, says so on standard error and returns false. systemd, when it
// listens for notifications (NOTIFY_SOCKET), hears "STATUS=Starting on port N", then
// "READY=1" with "STATUS=Serving on port N" once the server listens, or "STATUS=Could not
// listen on port N" (and never READY=1) when it cannot.
bool StartAndAnnounce(LumenvaleServer& server, const ServerSettings& settings);

// Tells systemd "STOPPING=1" and stops `server`.
void StopAndAnnounce(LumenvaleServer& server);

// Serves until SIGINT or SIGTERM; the process's exit status: 0 after a stop, 1 when the
// server could not listen. Started by hand it says how to stop it.
int RunConsole(const ServerSettings& settings);
