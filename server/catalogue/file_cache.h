// The whole-file cache of COmniFileAccess: path (exact match) to the bytes it had when read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/catalogue/file_access.h"

struct FileCacheEntry {
  FileVersion version;  // of the file when its bytes were read
  // Never changed once stored: readers may keep and send it while the cache moves on.
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  uint32_t use_stamp = 0;  // the use counter at the last read or hit
};

using FileCache = std::unordered_map<std::string, FileCacheEntry>;
