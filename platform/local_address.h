// This computer's addresses as other computers on the local network reach it, and the dotted
// IPv4 text they are written in.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The first IPv4 address of the host name that is not a loopback address, in dotted form.
// Many systems map the host name to a loopback address only (127.0.1.1), which no other
// computer can use: then the first IPv4 address of a network interface that is up and not a
// loopback. "127.0.0.1" when there is none.
std::string LocalIpv4Address();

// This computer's host name; "" when it has none.
std::string HostName();

// The IPv4 addresses of the network interfaces that are up, loopback included, in dotted form.
std::vector<std::string> InterfaceAddresses();

// The first IPv4 address the host name resolves to, loopback or not; "" when it has none.
std::string HostNameAddress();

// The local address the system would send from to dotted `address`: the source address of a
// UDP socket connected there (nothing is sent). "" when there is no route.
std::string SourceAddressFor(const std::string& address);

// Whether `text` is a dotted IPv4 address ("a.b.c.d", each part 0-255).
bool IsDottedIPv4(const std::string& text);

// Whether dotted `address` is in 127.0.0.0/8.
bool IsLoopbackIPv4(const std::string& address);

}  // namespace platform
