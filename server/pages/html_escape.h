// Escaping of text placed in pages.
#pragma once

#include <string>
#include <string_view>

// Writes every code point of UTF-8 `text` as "&#x%X;" (upper-case hex, no leading zeros), so
// a page stays plain Shift-JIS whatever the characters. An invalid byte becomes U+FFFD.
std::string EscapeHtmlEntities(std::string_view text);

// The same without the closing semicolons ("&#x%X"), the form the status page writes the
// configuration path, the title and the folders in. Browsers end each reference at the next
// "&" or at the character after the escaped text, which must not be a hexadecimal digit.
std::string EscapeHtmlEntitiesBare(std::string_view text);

// Escapes `"`, `<`, `>` and `&` for a value echoed into an attribute or text as it is.
std::string EscapeAttribute(std::string_view text);
