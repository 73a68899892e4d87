// One HTTP exchange with the gateway: a new TCP connection, the request, the whole answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "server/upnp/gateway_url.h"

// The most of an answer that is kept; reading stops there.
inline constexpr size_t kMaxGatewayAnswerBytes = 128 * 1024;

// Connects to the target's host and port, sends `request` and reads the answer until the
// gateway closes the connection, an error occurs, kMaxGatewayAnswerBytes have arrived or the
// tick count reaches `deadline_ms`, whichever comes first. Returns what arrived (possibly
// nothing). A failed connect or send writes "connect : %d\n" or "send : %d\n" with the error
// code to standard output.
std::string ExchangeWithGateway(const GatewayTarget& target, std::string_view request,
                                int64_t deadline_ms);
