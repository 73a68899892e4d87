// The answer to a plain-HTTP request that arrives on the HTTPS port.
#pragma once

#include <string>
#include <string_view>

// How much of a plain request is read, at most, to find its target and Host header.
inline constexpr size_t kMaxPlainRequestHead = 8 * 1024;

// "301 Moved Permanently" to "https://" + Host + the request's target, for the header block
// `head` (its request line and header lines); "400 Bad Request" when it has no Host header,
// or one that is not a host name or address with an optional port, or no target that starts
// with "/". Each answer has no body and asks for the connection to close.
std::string PlainHttpRedirect(std::string_view head);
