// Members of ZIP archives, named by member paths (member_path.h). Stateless: every call opens
// the archive anew and reads its central directory; members are found by exact,
// case-sensitive comparison of names, the first match winning.
#pragma once

#include "server/catalogue/file_access.h"

class CZIPFileAccess : public CBasseFileAccess {
 public:
  bool Accepts(const std::string& path) override;
  bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) override;
  bool Exists(const std::string& path) override;
  // The member's DOS time, which is local time where the archive was made.
  bool GetTime(const std::string& path, SystemTime* out) override;
  // The uncompressed size from the central directory.
  // The archive's version: a member cannot change while its archive stays the same.
  bool GetVersion(const std::string& path, FileVersion* out) override;
};
