// The catalogue: the configured folders, the scans that list their images on the worker
// pool, and the current image list with its orders. The server loop drives it with
// RescanWhenDue and UpdateList; neither waits for a scan, so requests go on being served
// while one runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/file_lister.h"
#include "server/catalogue/image_entry.h"
#include "server/catalogue/image_lister.h"
#include "server/catalogue/like_table.h"
#include "server/catalogue/ordered_lists.h"
#include "server/threads/shared_lock.h"
#include "server/threads/thread_mgr.h"

class ImageCatalogue {
 public:
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

  // Starts a scan on the pool (priority 50) and returns at once. False, starting nothing,
  // when a scan runs already. Loop thread.
  bool Rescan();
  bool IsScanning() const;
  // Blocks until no scan or comparison of this catalogue runs (start-up, shutdown, tests).
  void WaitForIdle() const;

  // The rescan schedule, called once per loop pass with the tick the pass began at: when
  // 30 s have passed since the last rescan start and no scan runs, takes `zip_reject` and
  // starts one. Loop thread.
  void RescanWhenDue(int64_t pass_start_ms, bool zip_reject);

  // The images of the current scan result (the first scan's while it grows); once the
  // result has been compared with the list, the list's images, which are the same.
  std::vector<ImageEntry> GetFiles() const;
  // The time of a ZIP member as the last finished scan saw it (its DOS date and time, as the
  // file access layer reports it); false when the path is not a member path or the archive
  // has changed or gone since.
  bool GetMemberTime(const std::string& member_path, SystemTime* time) const;
  uint32_t LastScanMs() const { return last_scan_ms_.load(); }
  uint32_t ScanCount() const;

  // The loop's list update; never waits. When a finished scan has not been looked at, has
  // it compared with the current list on the pool (priority 0); when a comparison found a
  // difference, publishes the new list and orders, built on the pool too. Then the like
  // part (LikeTable::Update). Writes the diagnostics and timing texts. Returns whether the
  // list was replaced. `logical` is SORT_WINDOWS != 0.
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
  friend class CCompareUpdatelist;

  // What a comparison job hands back to the loop.
  struct Comparison {
    uint32_t scan_count = 0;  // the scan it looked at
    bool differs = false;
    std::shared_ptr<const std::vector<ImageEntry>> list;  // positioned, date order
    PreparedOrders orders;
  };

  void FinishScan(const std::shared_ptr<CImageLister>& lister);
  void FinishComparison(Comparison comparison);
  // Takes the scan result out once the list holds its images, unless a newer scan has
  // ended; the caller frees it.
  std::shared_ptr<CImageLister> ReleaseScan(uint32_t scan_count);

  MySystem::CThreadMgr* const pool_;

  // Settings, loop thread only.
  std::vector<std::string> folders_;
  bool recursive_ = false;
  bool zip_reject_ = false;
  int64_t last_rescan_start_ms_;

  mutable CSharedLock lock_;
  // The last scan result until the list holds it; null after.
  std::shared_ptr<CImageLister> lister_ GUARDED_BY(lock_);
  std::shared_ptr<const ArchiveCache> saved_archives_ GUARDED_BY(lock_);
  uint32_t scan_count_ GUARDED_BY(lock_) = 0;
  std::atomic<uint32_t> last_scan_ms_{0};

  // Jobs in flight, and what the comparison hands back.
  mutable platform::Mutex jobs_lock_;
  mutable platform::CondVar jobs_changed_;
  bool scanning_ GUARDED_BY(jobs_lock_) = false;
  bool comparing_ GUARDED_BY(jobs_lock_) = false;
  std::unique_ptr<Comparison> compared_ GUARDED_BY(jobs_lock_);

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
