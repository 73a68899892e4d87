// Running without a tray: the server loop in the main thread until SIGINT or SIGTERM.
#pragma once

#include "common/config/server_settings.h"
#include "server/app/lumenvale_server.h"

// Starts `server` and prints where it can be reached (the banner and the menu's addresses);
// when it cannot listen, says so on standard error and returns false.
bool StartAndAnnounce(LumenvaleServer& server, const ServerSettings& settings);

// Serves until SIGINT or SIGTERM; the process's exit status: 0 after a stop, 1 when the
// server could not listen.
int RunConsole(const ServerSettings& settings);
