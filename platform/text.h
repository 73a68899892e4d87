// Conversions between the encodings the system meets: UTF-8 (our strings),
// UTF-16 (configuration files, entity tags) and code page 932 (Shift-JIS pages,
// older files and ZIP names). Every function returns false when the input has no
// form in the target encoding; `out` is then unspecified.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool Utf8ToUtf16(std::string_view in, std::u16string* out);
bool Utf16ToUtf8(std::u16string_view in, std::string* out);
bool Cp932ToUtf8(std::string_view in, std::string* out);
bool Utf8ToCp932(std::string_view in, std::string* out);

// UTF-16 code units as little-endian bytes, and back (an odd trailing byte is dropped).
std::string Utf16ToLeBytes(std::u16string_view in);
std::u16string LeBytesToUtf16(std::string_view bytes);

}  // namespace platform
