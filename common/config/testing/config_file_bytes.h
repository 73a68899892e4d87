// Test helper: configuration files as the editor writes them.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

// `text` (UTF-8) as the editor stores it: UTF-16LE after a byte-order mark, "\n" as CR LF.
// Empty when `text` is not valid UTF-8.
inline std::string ConfigFileBytes(std::string_view text) {
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::u16string wide;
  if (!platform::Utf8ToUtf16(crlf, &wide)) return {};
  return "\xFF\xFE" + platform::Utf16ToLeBytes(wide);
}
