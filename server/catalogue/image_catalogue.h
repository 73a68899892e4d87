// The catalogue: the configured folders, the scans that list their images on the worker
// pool, and the current image list with its orders. The server loop drives it with
// RescanWhenDue and UpdateList; neither waits for a scan, so requests go on being served
// while one runs. After the first scan the folders are watched for changes, and a rescan
// lists again only the folders that changed (and those that cannot be watched); once an
// hour a rescan lists every folder, for changes that no notice told of.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/archive_cache.h"
#include "server/catalogue/folder_tree.h"
#include "server/catalogue/image_entry.h"
#include "server/catalogue/like_table.h"
#include "server/catalogue/ordered_lists.h"
#include "server/threads/shared_lock.h"
#include "server/threads/thread_mgr.h"

// One rescan as the status page shows it.
struct RescanRecord {
  int64_t end_ms = 0;   // tick count when it ended
  uint32_t listed = 0;  // folders listed
  uint32_t ms = 0;      // time taken
  bool full = false;    // every folder listed
};

// The catalogue's state for the status page.
struct CatalogueStatus {
  uint32_t folders = 0;
  uint32_t watched = 0;
  std::vector<RescanRecord> last_hour;  // oldest first
  bool full_scan_done = false;
  std::string last_full_scan_time;  // local time, "YYYY/MM/DD hh:mm:ss"
  RescanRecord last_full_scan;
};

class ImageCatalogue {
 public:
  // A rescan lists every folder when this long has passed since the last that did.
  static constexpr int64_t kFullScanIntervalMs = 60 * 60 * 1000;
  // Scans and comparisons run on `pool`; the like table reads files through `files`. Both
  // must outlive the catalogue.
  ImageCatalogue(MySystem::CThreadMgr* pool, COmniFileAccess& files);
  // Waits for a scan or comparison of this catalogue that is still running.
  ~ImageCatalogue();
  ImageCatalogue(const ImageCatalogue&) = delete;
  ImageCatalogue& operator=(const ImageCatalogue&) = delete;

  // Settings for the scans started after the call. Loop thread.
  void SetFolders(std::vector<std::string> folders);
  void SetRecursive(bool recursive);
  void SetZipReject(bool zip_reject);
  // The most folders watched for changes (the system's own limit may be lower). Takes
  // effect before the first scan only.
  void SetWatchLimit(size_t max_watches);

  // Starts a scan on the pool (priority 50) and returns at once: the first one, every full
  // one (`full`, or kFullScanIntervalMs after the last) lists every folder; the others only
  // the folders that changed. False, starting nothing, when a scan runs already. Loop thread.
  bool Rescan(bool full = false);
  bool IsScanning() const;
  // True when no scan runs and the list holds what the last one found.
  bool IsSettled() const;
  // Blocks until no scan or comparison of this catalogue runs (start-up, shutdown, tests).
  void WaitForIdle() const;

  // The rescan schedule, called once per loop pass with the tick the pass began at: when
  // 30 s have passed since the last rescan start and no scan runs, takes `zip_reject` and
  // starts one. Loop thread.
  void RescanWhenDue(int64_t pass_start_ms, bool zip_reject);

  // The images of the last scan that changed them until the list takes them; the list's
  // images after that.
  std::vector<ImageEntry> GetFiles() const;
  // The time of a ZIP member as the last finished scan saw it (its DOS date and time, as the
  // file access layer reports it); false when the path is not a member path or the archive
  // has changed or gone since.
  bool GetMemberTime(std::string_view member_path, SystemTime* time) const;
  uint32_t LastScanMs() const { return last_scan_ms_.load(); }
  // Scans finished.
  uint32_t ScanCount() const;
  CatalogueStatus Status() const;

  // The loop's list update; never waits. When a finished scan brought another list, has it
  // positioned and its orders built on the pool (priority 0); when that is done, publishes
  // the new list and orders. Then the like part (LikeTable::Update). Writes the diagnostics
  // and timing texts. Returns whether the list was replaced. `logical` is SORT_WINDOWS != 0.
  bool UpdateList(bool logical);

  // The current list, in date order, positioned; empty until the first list is taken.
  std::shared_ptr<const std::vector<ImageEntry>> CurrentList() const;
  OrderedLists& orders() { return orders_; }
  const OrderedLists& orders() const { return orders_; }
  LikeTable& likes() { return likes_; }
  const LikeTable& likes() const { return likes_; }

  // The texts the status page shows, and a way for the rest of the list update to add to
  // the diagnostics.
  std::string DiagnosticsText() const;
  std::string TimingText() const;
  void AppendDiagnostics(std::string_view text);

 private:
  friend class CImgListJob;
  friend class CPrepareListJob;

  // What the preparing job hands back to the loop.
  struct Prepared {
    uint32_t scan_count = 0;                              // the scan whose list it is
    std::shared_ptr<const std::vector<ImageEntry>> list;  // positioned, date order
    PreparedOrders orders;
  };

  // The scan job's work: brings the folder listings up to date and, when they changed,
  // forms the list from them.
  void Scan(const std::vector<std::string>& folders, const ListingOptions& options, bool full);
  void FinishScan(const FolderTree::Pass& pass, uint32_t ms,
                  std::shared_ptr<std::vector<ImageEntry>> list,
                  std::shared_ptr<const ArchiveCache> archives);
  void FinishPreparing(Prepared prepared);

  MySystem::CThreadMgr* const pool_;

  // Settings, loop thread only.
  std::vector<std::string> folders_;
  bool recursive_ = false;
  bool zip_reject_ = false;
  size_t watch_limit_ = SIZE_MAX;
  int64_t last_rescan_start_ms_;
  int64_t last_full_scan_start_ms_ = 0;
  bool scanned_once_ = false;


  mutable CSharedLock lock_;
  // The list the last changing scan formed, until the list update takes it; null after.
  std::shared_ptr<std::vector<ImageEntry>> scanned_ GUARDED_BY(lock_);
  std::shared_ptr<const ArchiveCache> saved_archives_ GUARDED_BY(lock_);
  uint32_t scan_count_ GUARDED_BY(lock_) = 0;
  uint32_t list_scan_count_ GUARDED_BY(lock_) = 0;  // the scan that formed `scanned_`
  std::atomic<uint32_t> last_scan_ms_{0};

  // The rescans of the last hour and the last full one.
  mutable platform::Mutex history_lock_;
  std::deque<RescanRecord> history_ GUARDED_BY(history_lock_);
  bool full_scan_done_ GUARDED_BY(history_lock_) = false;
  RescanRecord last_full_scan_ GUARDED_BY(history_lock_);
  std::string last_full_scan_time_ GUARDED_BY(history_lock_);

  // Jobs in flight, and what the preparing job hands back.
  mutable platform::Mutex jobs_lock_;
  mutable platform::CondVar jobs_changed_;
  bool scanning_ GUARDED_BY(jobs_lock_) = false;
  bool preparing_ GUARDED_BY(jobs_lock_) = false;
  std::unique_ptr<Prepared> prepared_ GUARDED_BY(jobs_lock_);
  // The folders as last listed: made under the lock by the first Rescan and never replaced,
  // used by one scan job at a time.
  std::unique_ptr<FolderTree> tree_;

  // The list update's own state, loop thread only.
  uint32_t consumed_scan_count_ = 0;

  mutable platform::Mutex list_lock_;
  std::shared_ptr<const std::vector<ImageEntry>> list_ GUARDED_BY(list_lock_);
  OrderedLists orders_;

  mutable platform::Mutex texts_lock_;
  std::string diagnostics_ GUARDED_BY(texts_lock_);
  std::string timing_ GUARDED_BY(texts_lock_);

  // Last, so that it goes first: its jobs use the rest of the catalogue.
  LikeTable likes_;
};
