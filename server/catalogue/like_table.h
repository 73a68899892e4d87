// The catalogue's like table: like counts by content (HashList) with the hash list file that
// keeps them, the content hashes of the paths met so far (PathHashCache), and the like part
// of the list update, which finds liked files again by size and content, ranks them into the
// Likes order (at most once a second) and saves the file (at most once per kSaveIntervalMs,
// and only when a like has changed it).
//
// Votes may come from any thread; the table is touched by one thread at a time (lock_) and
// files are hashed outside that lock. The list update's heavy work (hashing at start,
// checking the cached paths, ranking, saving) runs as one job at a time on the worker pool,
// so the server loop never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/mutex.h"
#include "server/catalogue/hash_list.h"
#include "server/catalogue/omni_file_access.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue;

// Hashes a path given as any string type, so that a cache keyed by std::string is looked up
// with the catalogue's shared paths without making a string of each.
struct PathTextHash {
  using is_transparent = void;
  size_t operator()(std::string_view path) const { return std::hash<std::string_view>()(path); }
};

// Path (plain or member path) -> content hash, for every path hashed so far.
using PathHashCache = std::unordered_map<std::string, std::string, PathTextHash, std::equal_to<>>;

class LikeTable {
 public:
  // The shortest time between two saves of the hash list file while the server runs: each
  // rewrites the whole file and flushes it to disk, which a stream of likes must not turn
  // into a write per second. The stop saves what is left.
  static constexpr int64_t kSaveIntervalMs = 10000;

  // REQUIRES: `catalogue`, `pool` and `files` outlive the table. Files are hashed and looked
  // for through `files`.
  LikeTable(ImageCatalogue* catalogue, MySystem::CThreadMgr* pool, COmniFileAccess& files);
  // Cuts a running job short and waits for it.
  ~LikeTable();
  LikeTable(const LikeTable&) = delete;
  LikeTable& operator=(const LikeTable&) = delete;

  // Reads the hash list file at `path` (relative to the working directory) and keeps `path`
  // for the saves; "" reads nothing and never saves. A file that is there but cannot be read,
  // or one that is not empty and holds no like record (some other file named by mistake), is
  // never saved over, so neither its likes nor its content are lost. Beside a hash list
  // file, the temporary files of saves cut short by a crash are removed. Server start,
  // before the first scan.
  void Load(const std::string& path);

  // The content hash of `path`: the cached one, else FileContentHash, cached when not empty.
  // The file is read without the lock held. Any thread.
  std::string GetHash(std::string_view path);
  // Counts one like of `hash` for a file of `size` bytes and marks the table for saving;
  // returns the count after it (0 for the first like of a content). Any thread.
  int32_t Vote(const std::string& hash, uint32_t size);
  // GetHash and Vote for a path whose hash is cached, without waiting: false, counting
  // nothing, when the hash is not cached or the table is busy. Any thread; the loop's way.
  bool TryVoteCached(std::string_view path, uint32_t size, int32_t* count);
  // The count of `hash`, -1 when it has no record. Any thread.
  int32_t GetCount(const std::string& hash) const;

  // The like part of the list update, once per loop pass with the pass's tick and whether
  // the list was just replaced. Decides what is due and hands it to a job; never waits.
  // Loop thread.
  void Update(int64_t now_ms, bool list_changed);

  // Server stop, before the pool stops: a running job cuts its work short, and a queued one
  // does only what the saved table needs, so that the pool is not kept waiting. Loop thread.
  void CutJobsShort() { stopping_ = true; }
  // Server stop: cuts a running job short, waits for it and saves the table when it differs
  // from the file. False when that save failed. Loop thread.
  bool SaveAtStop();

  // Blocks until no job of this table runs (tests, benchmarks).
  void WaitForIdle() const;
  // Whether a job of this table runs: its end is taken up by the next Update.
  bool Working() const;
  // Tests only.
  bool dirty() const { return dirty_.load(); }
  // Tests only.
  size_t CachedPathCount() const;

 private:
  class Job;
  // What one job does, in this order.
  struct Work {
    bool assign = false;       // enter the files of the last scan whose content is liked
    bool check_cache = false;  // forget every cached path when one has gone
    bool rank = false;         // rebuild the Likes order
    bool save = false;         // then save the table when it differs from the file
  };
  // Why saves do not happen, shown in the diagnostics on every pass until a save succeeds.
  enum class SaveProblem { kNone, kPathEmpty, kSaveFailed, kUnreadableFile, kNotAHashList };

  // Adds `text` to the diagnostics of the next list update: a job's findings show in the
  // texts of one loop pass, as the loop's own do.
  void Report(std::string_view text);
  // A like was counted: the order and the file are behind the table.
  void MarkChanged();
  bool AssignmentDue();
  void RunJob(const Work& work);
  void AssignByContent();
  void CheckCache();
  // REQUIRES: `check_existence` unless every cached path has just been read.
  void Rank(bool check_existence);
  bool Save();

  ImageCatalogue* const catalogue_;
  MySystem::CThreadMgr* const pool_;
  COmniFileAccess& files_;

  // Set by Load, read-only afterwards.
  std::string path_;
  bool never_save_ = false;  // the file could not be read: it is left as it is

  mutable platform::Mutex lock_;
  HashList hash_list_ GUARDED_BY(lock_);
  PathHashCache cache_ GUARDED_BY(lock_);
  uint64_t cache_clears_ GUARDED_BY(lock_) = 0;  // how often cache_ was emptied by a check

  std::atomic<bool> dirty_{false};     // hash_list_ differs from the file
  std::atomic<bool> unranked_{false};  // a like came since the Likes order was last built
  std::atomic<SaveProblem> problem_{SaveProblem::kNone};
  std::atomic<bool> stopping_{false};

  // The schedule, loop thread only.
  int64_t last_rebuild_ms_ = 0;
  int64_t last_save_ms_ = INT64_MIN / 2;  // the first like is saved at once
  int64_t next_check_ms_ = 0;
  bool rank_pending_ = false;
  uint32_t assigned_scan_ = 0;             // scan count of the last assignment
  uint64_t assigned_clears_ = UINT64_MAX;  // cache_clears_ at the last assignment

  platform::Mutex texts_lock_;
  std::string reported_ GUARDED_BY(texts_lock_);

  mutable platform::Mutex job_lock_;
  mutable platform::CondVar job_done_;
  bool job_running_ GUARDED_BY(job_lock_) = false;
};
