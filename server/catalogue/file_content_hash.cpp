#include "server/catalogue/file_content_hash.h"

#include <cstdint>
#include <string_view>

#include "common/config/md5_hex.h"

std::string FileContentHash(COmniFileAccess& files, const std::string& path) {
  MD5HexStream digest;
  const bool read = files.ReadPieces(path, [&digest](const uint8_t* bytes, size_t size) {
    digest.Add(std::string_view(reinterpret_cast<const char*>(bytes), size));
    return true;
  });
  return read ? digest.Finish() : "";
}
