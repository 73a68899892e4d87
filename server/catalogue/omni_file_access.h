// The file access object the rest of the server uses: it hands each path to the back-end of
// its kind (plain file or ZIP member) and keeps recently read files whole in memory.
#pragma once

#include <atomic>
#include <future>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/mutex.h"
#include "server/catalogue/file_access.h"
#include "server/catalogue/file_cache.h"
#include "server/catalogue/read_budget.h"
#include "server/threads/shared_lock.h"

class COmniFileAccess : public CBasseFileAccess {
 public:
  // Every read reserves its bytes in `budget`, which must outlive this object.
  explicit COmniFileAccess(ReadBudget& budget);
  ~COmniFileAccess() override;

  bool Accepts(const std::string& path) override;
  // With `use_cache` 0 the file is read from its back-end and the cache is left alone.
  // Otherwise a cached copy is served while the file's version is unchanged; a file read
  // anew is stored (replacing an older copy), and once the cache holds more than twice the
  // limit it keeps only the `limit` most recently used files, fewer when they hold more than
  // the byte limit. Any thread may call it.
  bool ReadAll(uint32_t use_cache, const std::string& path, std::vector<uint8_t>* out) override;
  // ReadAll through the cache, handing out the cached bytes themselves instead of a copy.
  // One read at a time per path: a caller that finds the same version of the file being
  // read already waits for that read and shares its bytes, and one that comes while an
  // earlier caller still holds the bytes of that version (a file too large to cache) shares
  // them too.
  bool ReadShared(const std::string& path, std::shared_ptr<const std::vector<uint8_t>>* out);
  // The cached bytes of the file at `path` when the cache holds it as it is in `version`
  // (the caller's look at the file); reads nothing, so the connection loop may ask.
  bool FindCached(const std::string& path, const FileVersion& version,
                  std::shared_ptr<const std::vector<uint8_t>>* out) {
    return ReadFromCache(path, version, out);
  }
  // The back-end's read in pieces; the cache is neither used nor changed.
  bool ReadPieces(const std::string& path, const FilePieceSink& sink) override;
  bool Exists(const std::string& path) override;
  bool GetTime(const std::string& path, SystemTime* out) override;
  bool GetVersion(const std::string& path, FileVersion* out) override;
  uint64_t GetSize(const std::string& path) override;

  // The number of files the cache falls back to (30 until set; the server sets it from its
  // configuration at start).
  void SetCacheLimit(uint32_t limit);
  // The most bytes the cached files may hold together (kFileCacheBytes until set). Going
  // over it drops the least recently used files until the rest fit.
  // Tests only.
  void SetCacheByteLimit(uint64_t bytes);
  static constexpr uint64_t kFileCacheBytes = uint64_t{64} << 20;
  // Tests only.
  size_t CachedCount();
  // Tests only.
  bool IsCached(const std::string& path);
  // Whether the cache holds the file as it is now.
  bool IsCurrentInCache(const std::string& path);
  // The callers sharing the read of `path` under way through ReadShared; 0 when none is.
  int ReadersOf(const std::string& path);

 private:
  CBasseFileAccess& BackendFor(const std::string& path);
  bool ReadFromCache(const std::string& path, const FileVersion& version,
                     std::shared_ptr<const std::vector<uint8_t>>* out);
  void Store(const std::string& path, const FileVersion& version,
             std::shared_ptr<const std::vector<uint8_t>> bytes);
  void Trim();

  using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;
  // A read under way through ReadShared; its result is null when the read failed.
  struct ReadInFlight {
    FileVersion version;
    std::shared_future<SharedBytes> result;
    int readers = 1;
  };
  // The bytes of the last read of a path, for as long as any caller holds them.
  struct HeldRead {
    FileVersion version;
    std::weak_ptr<const std::vector<uint8_t>> bytes;
  };
  bool FindHeld(const std::string& path, const FileVersion& version, SharedBytes* out)
      REQUIRES(in_flight_lock_);
  void RememberHeld(const std::string& path, const FileVersion& version, const SharedBytes& bytes)
      REQUIRES(in_flight_lock_);

  std::vector<std::unique_ptr<CBasseFileAccess>> backends_;  // plain files first, then ZIP
  CSharedLock cache_lock_;
  FileCache cache_ GUARDED_BY(cache_lock_);
  uint64_t cached_bytes_ GUARDED_BY(cache_lock_) = 0;  // of the files in cache_
  std::atomic<uint32_t> use_counter_{0};
  std::atomic<uint32_t> cache_limit_{30};
  std::atomic<uint64_t> cache_byte_limit_{kFileCacheBytes};
  platform::Mutex in_flight_lock_;
  std::unordered_map<std::string, ReadInFlight> in_flight_ GUARDED_BY(in_flight_lock_);
  std::unordered_map<std::string, HeldRead> held_ GUARDED_BY(in_flight_lock_);
  // held_ is rid of released reads at this size.
  size_t held_sweep_at_ GUARDED_BY(in_flight_lock_) = 64;
};
