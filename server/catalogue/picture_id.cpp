#include "server/catalogue/picture_id.h"

#include "common/config/md5_hex.h"
#include "platform/utf8.h"

std::string PictureId(std::string_view path) {
  // The UTF-16LE bytes written at once: /image computes this for every answer.
  std::string bytes;
  bytes.reserve(path.size() * 2);
  auto unit = [&bytes](uint32_t u) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  };
  for (size_t pos = 0; pos < path.size();) {
    uint32_t c = DecodeUtf8At(path, &pos);
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return MD5Hex(bytes);
}

bool IsPictureIdShaped(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}
