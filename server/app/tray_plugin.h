// The server's side of the tray plug-in: finding it, loading it and serving through it.
#pragma once

#include <string>

#include "common/config/server_settings.h"

// Where the plug-in lies relative to the server program's folder: the same in the build tree
// (bin/ and lib/lumenvale/) as in the installed packages (/usr/bin and /usr/lib/lumenvale).
inline constexpr char kTrayPluginPath[] = "../lib/lumenvale/lumenvale-tray.so";

// Serves with a tray icon through the plug-in and sets *exit_status. False, having started
// nothing, when the plug-in is missing or cannot load (it says so on standard error: it names
// the package to install) or the session has no system tray; the caller serves in the console.
bool RunTrayPlugin(const ServerSettings& settings, int argc, char** argv, int* exit_status);
