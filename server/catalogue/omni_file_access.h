// The file access object the rest of the server uses: it hands each path to the back-end of
// its kind (plain file or ZIP member) and keeps recently read files whole in memory.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "server/catalogue/file_access.h"
#include "server/catalogue/file_cache.h"
#include "server/net/shared_lock.h"

class COmniFileAccess : public CBasseFileAccess {
 public:
  // The process-wide instance, created on first use and never destroyed, so that threads
  // still running at exit may use it.
  static COmniFileAccess& Instance();

  COmniFileAccess();
  ~COmniFileAccess() override;

  bool Accepts(const std::string& path) override;
  // With `use_cache` 0 the file is read from its back-end and the cache is left alone.
  // Otherwise a cached copy is served while the file's version is unchanged; a file read
  // anew is stored (replacing an older copy), and once the cache holds more than twice the
  // limit it keeps only the `limit` most recently used files. Any thread may call it.
  bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) override;
  bool Exists(const std::string& path) override;
  bool GetTime(const std::string& path, SystemTime* out) override;
  bool GetVersion(const std::string& path, FileVersion* out) override;

  // The number of files the cache falls back to (30 until set; the server sets it from its
  // configuration at start).
  void SetCacheLimit(uint32_t limit);
  size_t CachedCount();
  bool IsCached(const std::string& path);

 private:
  CBasseFileAccess& BackendFor(const std::string& path);
  bool ReadFromCache(const std::string& path, const FileVersion& version,
                     std::vector<uint8_t>* out);
  void Store(const std::string& path, const FileVersion& version,
             const std::vector<uint8_t>& bytes);
  void Trim();

  std::vector<std::unique_ptr<CBasseFileAccess>> backends_;  // plain files first, then ZIP
  CSharedLock cache_lock_;
  FileCache cache_;  // guarded by cache_lock_
  std::atomic<uint32_t> use_counter_{0};
  std::atomic<uint32_t> cache_limit_{30};
};
