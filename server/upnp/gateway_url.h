// Where a request to the gateway goes, taken from the URLs the gateway hands out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The current target of the gateway client. The host is used as a dotted IPv4 address (names
// are not resolved); the port is decimal text.
struct GatewayTarget {
  std::string host;
  std::string port;
  std::string path;
};

// The longest URL taken from a gateway.
inline constexpr size_t kMaxGatewayUrlLength = 2048;

// Applies `url` to `target`. A URL starting with "/" replaces only the path. Otherwise
// everything up to and including "//" is dropped; when no "/" follows, nothing changes; else
// the part before the first "/" is the host, with the port after its ":" ("80" without one),
// and the rest, "/" included, is the path.
void SplitUrl(std::string_view url, GatewayTarget* target);

// Whether `url` can stand in a request line and a Host header as it is: 1 to
// kMaxGatewayUrlLength printable ASCII characters, no blank. A gateway's answer is untrusted;
// a control character in a URL would split the request it is written into.
bool IsUsableUrl(std::string_view url);
