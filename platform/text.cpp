#include "platform/text.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

// One iconv conversion of a whole buffer; false on any invalid or unconvertible input.
bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char chunk[4096];
  bool ok = true;
  // Convert the input, then flush the shift state; E2BIG only means the chunk is full.
  for (bool flushing = false;;) {
    char* dst = chunk;
    size_t dst_left = sizeof chunk;
    size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &dst_left)
                        : iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(chunk, sizeof chunk - dst_left);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
    if (r == static_cast<size_t>(-1)) continue;
    if (flushing) break;
    flushing = true;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool Utf8ToUtf16(std::string_view in, std::u16string* out) {
  std::string bytes;
  if (!Convert("UTF-16LE", "UTF-8", in, &bytes)) return false;
  *out = LeBytesToUtf16(bytes);
  return true;
}

bool Utf16ToUtf8(std::u16string_view in, std::string* out) {
  return Convert("UTF-8", "UTF-16LE", Utf16ToLeBytes(in), out);
}

bool Cp932ToUtf8(std::string_view in, std::string* out) {
  return Convert("UTF-8", "CP932", in, out);
}

bool Utf8ToCp932(std::string_view in, std::string* out) {
  return Convert("CP932", "UTF-8", in, out);
}

std::string Utf16ToLeBytes(std::u16string_view in) {
  std::string bytes;
  bytes.reserve(in.size() * 2);
  for (char16_t unit : in) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string LeBytesToUtf16(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return units;
}

std::string AsciiToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiToLower(c);
  return lower;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace platform
