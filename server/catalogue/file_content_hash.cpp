#include "server/catalogue/file_content_hash.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/config/md5_hex.h"
#include "server/catalogue/omni_file_access.h"

std::string FileContentHash(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!COmniFileAccess::Instance().ReadAll(0, path, &bytes)) return "";
  return MD5Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
