#include "common/config/password_hash.h"

#include "common/config/md5_hex.h"
#include "platform/text.h"

bool PasswordHash(std::string_view name_utf8, std::string_view password_utf8, std::string* hash) {
  std::string name, password;
  if (!platform::Utf8ToCp932(name_utf8, &name)) return false;
  if (!platform::Utf8ToCp932(password_utf8, &password)) return false;
  *hash = MD5Hex(name + ":secret:" + password);
  return true;
}
