// The server's name towards systemd: the unit "Lumenvale:PORT.service" that Quillon installs.
#pragma once

#include <cstdint>
#include <string>

// "Lumenvale:" + port: the name of the single-instance lock and of the service
// (unit "Lumenvale:PORT.service").
std::string InstanceName(uint16_t port);
