// What the catalogue remembers of the ZIP archives it has read, so that an unchanged archive
// (same size and time) is never read again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/catalogue/shared_path.h"

// What the scan knows of a candidate file or member.
struct FoundFile {
  uint32_t size = 0;  // a member's uncompressed size; a plain file's, capped at 4 GiB - 1
  int64_t lastWriteTime = 0;
};

// A member the scan lists, as the archive cache keeps it.
struct ArchiveMember {
  SharedPath path;  // member path, shared by every list that holds the member
  FoundFile found;
  uint16_t dos_date = 0;  // the member's time as its directory record gives it
  uint16_t dos_time = 0;
};

// An archive as it was when it was read, with the members that were listed (none when it
// could not be read).
struct ArchiveCacheEntry {
  uint64_t size = 0;
  int64_t lastWriteTime = 0;
  std::vector<ArchiveMember> members;  // in central-directory order
};

// Archive path -> its entry. Entries are immutable once made, so caches share them.
using ArchiveCache = std::unordered_map<std::string, std::shared_ptr<const ArchiveCacheEntry>>;
