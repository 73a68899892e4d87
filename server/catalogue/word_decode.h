// Decoding of a search word as it arrives in the query string.
#pragma once

#include <string>
#include <string_view>

// Percent-decodes `raw` ("%41" is "A"; a "%" not followed by two hexadecimal digits stays as
// it is), reads "+" as a space, and returns the bytes as UTF-8 in which every ill-formed
// byte is replaced by U+FFFD, so the result is always valid UTF-8.
std::string DecodeWord(std::string_view raw);
