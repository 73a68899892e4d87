#include "server/pages/safe_link.h"

namespace {

bool IsUnsafe(unsigned char c) {
  if (c < 0x21 || c >= 0x7F) return true;
  switch (c) {
    case '"':
    case '\'':
    case '<':
    case '>':
    case '\\':
    case '`':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string PercentEncodeUnsafe(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnsafe(byte)) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string SafeLinkFrom(const s_request& request, std::string_view path,
                         std::initializer_list<LinkParameter> set,
                         std::initializer_list<std::string_view> removed) {
  // The separators "?", "=", "&" are safe bytes, so encoding the whole link encodes exactly
  // the names and values.
  return PercentEncodeUnsafe(LinkFrom(request, path, set, removed));
}
