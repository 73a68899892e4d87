#include "common/config/password_hash.h"

#include "common/config/md5_hex.h"
#include "platform/text.h"

bool PasswordHash(std::string_view name_utf8, std::string_view password_utf8, std::string* hash) {
  std::u16string unused;
  if (!platform::Utf8ToUtf16(name_utf8, &unused)) return false;
  if (!platform::Utf8ToUtf16(password_utf8, &unused)) return false;
  *hash = MD5Hex(std::string(name_utf8) + ":secret:" + std::string(password_utf8));
  return true;
}
