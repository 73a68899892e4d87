// Text helpers both programs need: conversions between the encodings the system meets
// (UTF-8, our strings; UTF-16, configuration files and entity tags; code page 932, Shift-JIS
// pages, older files and ZIP names), ASCII case and the folder part of a path.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Every conversion returns false when the input has no form in the target encoding; `out` is
// then unspecified.
bool Utf8ToUtf16(std::string_view in, std::u16string* out);
bool Utf16ToUtf8(std::u16string_view in, std::string* out);
bool Cp932ToUtf8(std::string_view in, std::string* out);
bool Utf8ToCp932(std::string_view in, std::string* out);

// UTF-16 code units as little-endian bytes, and back (an odd trailing byte is dropped).
std::string Utf16ToLeBytes(std::u16string_view in);
std::u16string LeBytesToUtf16(std::string_view bytes);

// ASCII letters lower-cased; every other byte, those of UTF-8 sequences included, as it is.
// For names the protocols and file types define in ASCII (header names, extensions).
constexpr char AsciiToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiToLower(std::string_view text);
// Equal once ASCII letters are lower-cased.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The folder part of `path`: the text before its last "/", "/" for a path in the root, "."
// for a name without "/".
std::string FolderOf(const std::string& path);

}  // namespace platform
