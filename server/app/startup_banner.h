// The line the server prints at start so whoever started it knows where to look.
#pragma once

#include <string>

#include "common/config/server_settings.h"

// "Lumenvale is serving http://localhost:PORT/ from FOLDER (empty), ..." with a note on each
// folder that is missing or empty, since that is why a gallery shows no pictures.
std::string StartupBanner(const ServerSettings& settings, int port);

// Whether a visitor must log in, since a gallery open to the network by mistake shows nothing
// wrong: "Login is on: ..." or "Login is off: ...".
std::string LoginLine(const ServerSettings& settings);
