// This computer's IPv4 addresses, as dotted text.
#pragma once

#include <string>

namespace platform {

// The first IPv4 address the host name resolves to; "" when it resolves to none.
std::string HostNameAddress();

// The local address the system would send from to dotted `address`: the source address of a
// UDP socket connected there (nothing is sent). "" when there is no route.
std::string SourceAddressFor(const std::string& address);

// Whether `text` is a dotted IPv4 address ("a.b.c.d", each part 0-255).
bool IsDottedIPv4(const std::string& text);

// Whether dotted `address` is in 127.0.0.0/8.
bool IsLoopbackIPv4(const std::string& address);

}  // namespace platform
