// The date form of the Last-Modified header and of the If-Modified-Since value a browser sends
// back, for example "Wed, 07 Feb 2024 09:05:03 GMT".
#pragma once

#include <cstdint>
#include <string>

// `seconds` since 1970-01-01 UTC written as "%s, %02d %s %d %02d:%02d:%02d GMT" with the
// English day and month abbreviations.
std::string FormatHttpDate(int64_t seconds);
