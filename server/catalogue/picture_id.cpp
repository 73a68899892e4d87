#include "server/catalogue/picture_id.h"

#include "common/config/md5_hex.h"
#include "platform/text.h"
#include "platform/utf8.h"

std::string PictureId(std::string_view path) {
  std::u16string units;
  for (size_t pos = 0; pos < path.size();) {
    uint32_t c = DecodeUtf8At(path, &pos);
    if (c >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
  }
  return MD5Hex(platform::Utf16ToLeBytes(units));
}

bool IsPictureIdShaped(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}
