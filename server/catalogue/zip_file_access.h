// Members of ZIP archives, named by member paths (member_path.h). Members are found by exact,
// case-sensitive comparison of names, the first match winning. The central directories of
// the archives used last are kept with their name index while the archive's size and
// full-precision modification time stay the same, so a look-up costs one stat, not a
// directory read.
#pragma once

#include <list>
#include <memory>

#include "platform/mutex.h"
#include "server/catalogue/file_access.h"
#include "server/catalogue/zip_archive.h"

class CZIPFileAccess : public CBasseFileAccess {
 public:
  // Member reads reserve their bytes in `budget`, which must outlive this object.
  explicit CZIPFileAccess(ReadBudget& budget) : budget_(budget) {}

  bool Accepts(const std::string& path) override;
  bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) override;
  bool Exists(const std::string& path) override;
  // The member's DOS time, which is local time where the archive was made.
  bool GetTime(const std::string& path, SystemTime* out) override;
  // The archive's version: a member cannot change while its archive stays the same.
  bool GetVersion(const std::string& path, FileVersion* out) override;
  // The uncompressed size from the central directory.
  uint64_t GetSize(const std::string& path) override;

  // At most this many directories are kept, and at most kOpenArchiveBytes of them in all.
  static constexpr size_t kOpenArchiveLimit = 8;
  static constexpr size_t kOpenArchiveBytes = size_t{64} << 20;

 private:
  struct OpenArchive {
    std::string path;
    FileVersion version;
    size_t bytes = 0;  // an estimate of the memory the directory holds
    std::shared_ptr<const ZipArchive> archive;
  };

  // The archive of a member path and the member's index in it; false when the path names no
  // member or the archive cannot be read.
  bool FindMember(const std::string& path, std::shared_ptr<const ZipArchive>* archive,
                  size_t* index);
  std::shared_ptr<const ZipArchive> OpenCurrent(const std::string& archive_path);

  ReadBudget& budget_;
  platform::Mutex open_lock_;
  std::list<OpenArchive> open_ GUARDED_BY(open_lock_);  // most recently used first
  size_t open_bytes_ GUARDED_BY(open_lock_) = 0;
};
