#include "server/upload/upload_names.h"

#include <charconv>
#include <cstdio>

#include "platform/utf8.h"

namespace {

constexpr size_t kMaxNameBytes = 255;

bool IsControl(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The base without a final " (k)" whose k is written as its own value's decimal form.
std::string_view WithoutNumber(std::string_view base) {
  size_t open = base.rfind('(');
  if (base.empty() || base.back() != ')' || open == std::string_view::npos || open == 0 ||
      base[open - 1] != ' ') {
    return base;
  }
  std::string_view digits = base.substr(open + 1, base.size() - open - 2);
  int32_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      std::to_string(value) != digits) {
    return base;
  }
  return base.substr(0, open - 1);
}

}  // namespace

std::string_view UploadExtension(std::string_view content_type, bool zip_allowed) {
  if (content_type == "image/jpeg") return "jpg";
  if (content_type == "image/gif") return "gif";
  if (content_type == "image/png") return "png";
  if (content_type == "image/bmp") return "bmp";
  if (content_type == "image/heic") return "heic";
  if (content_type == "image/heif") return "heif";
  if (content_type == "image/avif") return "avif";
  if (content_type == "application/zip" && zip_allowed) return "zip";
  return {};
}

UploadNameKind ReadUploadBase(std::string_view sent_name, std::string* base) {
  size_t separator = sent_name.find_last_of("/\\");
  std::string_view last =
      separator == std::string_view::npos ? sent_name : sent_name.substr(separator + 1);
  if (last.empty() || last == "." || last == "..") return UploadNameKind::kUnnamed;
  std::string name;
  for (size_t pos = 0; pos < last.size();) {
    uint32_t c = DecodeUtf8At(last, &pos);
    if (IsControl(c)) return UploadNameKind::kUnusable;
    AppendUtf8(c, &name);
  }
  size_t dot = name.rfind('.');
  *base = dot == std::string::npos ? std::string() : name.substr(0, dot);
  return UploadNameKind::kNamed;
}

std::string NumberedUploadName(std::string_view base, int n, std::string_view extension) {
  std::string suffix;
  if (n > 0) {
    base = WithoutNumber(base);
    suffix = " (" + std::to_string(n) + ")";
  }
  suffix += ".";
  suffix += extension;
  if (base.size() + suffix.size() > kMaxNameBytes) {
    size_t cut = suffix.size() < kMaxNameBytes ? kMaxNameBytes - suffix.size() : 0;
    // Back to the start of the character the cut falls in.
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    base = base.substr(0, cut);
  }
  return std::string(base) + suffix;
}

std::string TemporaryUploadName(uint16_t unique, std::string_view extension) {
  char name[16];
  std::snprintf(name, sizeof name, "img%X.TMP.", static_cast<unsigned>(unique));
  return name + std::string(extension);
}
