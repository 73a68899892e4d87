// What every request must pass before any handler sees it: a target of bounded length, a
// method the gallery serves, and, for a POST, an origin that is the gallery's own, so that a
// page of another site cannot make a visitor's browser post to the gallery.
#pragma once

#include <cstddef>
#include <optional>

#include "server/net/request.h"
#include "server/net/response.h"

// The longest request target served; a longer one is answered 414.
constexpr size_t kMaxTargetBytes = 8 * 1024;
// The longest body of a request whose handler does not take it as it arrives (every request
// but an upload); a longer one is answered 413 without being read.
constexpr size_t kMaxPlainBodyBytes = 64 * 1024;

// The answer that refuses `request`, or nullopt when it may go on to the handlers: 414 for a
// target past kMaxTargetBytes, 405 (naming the methods served) for a method other than GET,
// HEAD and POST, 403 for a POST whose Origin (or, without one, Referer) names another host
// than its Host header. A POST with neither comes from a program, not from a page, and goes on.
std::optional<Response> GateRefusal(const HttpRequest& request);

// Whether the request's Origin, else its Referer, names the host of its Host header (true
// when it has neither).
bool FromOwnOrigin(const HttpRequest& request);

// The empty answer with `status` ("413 Content Too Large"), closing the connection.
Response RefusalResponse(std::string_view status);
