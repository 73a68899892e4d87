// Reading what a client says it can take from its Accept header.
#pragma once

#include <string_view>

// True when the Accept header value `accept` names the media type `type` itself (compared
// without regard to case) with a quality above 0. Ranges ("image/*", "*/*") do not count:
// browsers send them whatever they can show, so only a named type says a browser shows it.
bool AcceptNamesType(std::string_view accept, std::string_view type);
