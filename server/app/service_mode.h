// Running as a systemd service: the unit named after the instance is installed and systemd
// started this process.
#pragma once

#include <cstdint>
#include <string>

#include "common/config/server_settings.h"

// "Lumenvale:" + port: the name of the single-instance lock and of the service
// (unit "Lumenvale:PORT.service").
std::string InstanceName(uint16_t port);

// Serves as the service until SIGTERM: tells systemd READY=1 once the listening socket is
// open, STATUS= lines on the way, STOPPING=1 when it stops. A server that cannot listen
// never reports itself ready: it says why and the process fails. Returns the exit status.
int RunService(const ServerSettings& settings);
