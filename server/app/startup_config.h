// The configuration a start serves, and what it tells about it.
#pragma once

#include <string>

#include "common/config/server_settings.h"

// Reads the configuration `command_line` names (ServerSettings::LoadForStart) and prints the
// warnings about it to standard error. When the settings must not be served (a named file
// that cannot be read, a value out of range), prints why and "Nothing is served." and returns
// false; the caller then exits with a status that is not 0.
bool LoadStartupSettings(const std::string& command_line, ServerSettings* settings);
