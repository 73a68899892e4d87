// The folder scan: walks the configured folders breadth-first and offers every candidate
// file, and every member of the ZIP archives it meets, to OnFile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// What the scan knows of a candidate file or member.
struct FoundFile {
  uint32_t size = 0;  // a member's uncompressed size; a plain file's, capped at 4 GiB - 1
  int64_t lastWriteTime = 0;
};

// A member offered to OnFile, as the archive cache keeps it.
struct ArchiveMember {
  std::string path;  // member path
  FoundFile found;
  uint16_t dos_date = 0;  // the member's time as its directory record gives it
  uint16_t dos_time = 0;
};

// An archive as it was when it was read, with the members that were offered.
struct ArchiveCacheEntry {
  uint64_t size = 0;
  int64_t lastWriteTime = 0;
  std::vector<ArchiveMember> members;  // in central-directory order
};

// Archive path -> its entry. Entries are immutable once made, so caches share them.
using ArchiveCache = std::unordered_map<std::string, std::shared_ptr<const ArchiveCacheEntry>>;

class CFileLister {
 public:
  CFileLister(bool recursive, bool zip_reject);
  virtual ~CFileLister() = default;
  CFileLister(const CFileLister&) = delete;
  CFileLister& operator=(const CFileLister&) = delete;

  // Scans `folders` in order, then their subfolders breadth-first when recursive. Each folder
  // is listed at most once per scan, however often links lead to it. Unreadable folders and
  // archives are skipped. Archives found unchanged (size and time) in the archive cache are
  // not read again; archives no longer there leave the cache.
  void Scan(const std::vector<std::string>& folders);

  // Offered every candidate file and member; returns true to go on.
  virtual bool OnFile(const std::string& path, const FoundFile& found);

  // The cache the next scan starts from (set before Scan) and ends with (read after it).
  void SetArchiveCache(ArchiveCache cache) { archive_cache_ = std::move(cache); }
  const ArchiveCache& archive_cache() const { return archive_cache_; }

  uint32_t LastScanMs() const { return last_scan_ms_.load(); }

 private:
  void ScanArchive(const std::string& path, uint64_t size, int64_t time);

  const bool recursive_;
  const bool zip_reject_;
  ArchiveCache archive_cache_;  // used by the scanning thread only while a scan runs
  std::atomic<uint32_t> last_scan_ms_{0};
};
