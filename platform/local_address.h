// This computer's address as other computers on the local network reach it.
#pragma once

#include <string>

namespace platform {

// The first IPv4 address of the host name that is not a loopback address, in dotted form.
// Many systems map the host name to a loopback address only (127.0.1.1), which no other
// computer can use: then the first IPv4 address of a network interface that is up and not a
// loopback. "127.0.0.1" when there is none.
std::string LocalIpv4Address();

}  // namespace platform
