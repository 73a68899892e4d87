#include "server/pages/html_escape.h"

#include <cstdio>

#include "platform/utf8.h"

namespace {

// Writes every code point of `text` through `format`, which takes it as an unsigned int.
std::string EscapeEachCodePoint(std::string_view text, const char* format) {
  std::string out;
  out.reserve(text.size() * 8);
  char entity[16];
  for (size_t pos = 0; pos < text.size();) {
    uint32_t code_point = DecodeUtf8At(text, &pos);
    int n = std::snprintf(entity, sizeof entity, format, code_point);
    out.append(entity, static_cast<size_t>(n));
  }
  return out;
}

}  // namespace

std::string EscapeHtmlEntities(std::string_view text) {
  return EscapeEachCodePoint(text, "&#x%X;");
}

std::string EscapeHtmlEntitiesBare(std::string_view text) {
  return EscapeEachCodePoint(text, "&#x%X");
}

std::string EscapeAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out += c;
    }
  }
  return out;
}
