// Reading header values out of a raw HTTP request.
#pragma once

#include <string>
#include <string_view>

// The size of the header block of `raw` (request line, header lines and the blank line that
// ends them), or npos while that blank line has not arrived. Lines may end in "\r\n" or in a
// bare "\n": "\r\n\r\n" and "\n\n" both end the block.
size_t HeaderBlockSize(std::string_view raw);

// Finds the header `name` (compared case-insensitively) among the header lines of `raw`,
// that is, between the request line and the blank line that ends the header block. The
// value is returned without the blanks around it. The first such header wins.
bool FindHeaderValue(std::string_view raw, std::string_view name, std::string* value);

// Counts the header lines named `name` (case-insensitively).
int CountHeaders(std::string_view raw, std::string_view name);
