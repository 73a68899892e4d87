#include "server/catalogue/file_content_hash.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/config/md5_hex.h"
std::string FileContentHash(COmniFileAccess& files, const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!files.ReadAll(0, path, &bytes)) return "";
  return MD5Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
