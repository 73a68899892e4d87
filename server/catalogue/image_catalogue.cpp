#include "server/catalogue/image_catalogue.h"

#include <utility>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/free_memory.h"
#include "platform/local_time.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/img_list_job.h"
#include "server/catalogue/prepare_list_job.h"
#include "server/catalogue/member_path.h"

namespace {

constexpr int kScanPriority = 50;
constexpr int kPreparePriority = 0;
constexpr int64_t kRescanIntervalMs = 30000;
// How long the status page's rescan history reaches back.
constexpr int64_t kHistoryMs = 60 * 60 * 1000;

// Frees a replaced list on the pool: its many paths take milliseconds to free, which the
// loop thread is not to spend. Then gives the pages back, so that the resident size stays
// that of one catalogue however many rescans run.
class CReleaseListJob : public CThreadCommand {
 public:
  explicit CReleaseListJob(std::shared_ptr<const std::vector<ImageEntry>> list)
      : list_(std::move(list)) {}
  int Run() override {
    list_.reset();
    platform::ReturnFreeMemory();
    return 0;
  }

 private:
  std::shared_ptr<const std::vector<ImageEntry>> list_;
};

}  // namespace

ImageCatalogue::ImageCatalogue(MySystem::CThreadMgr* pool, COmniFileAccess& files)
    : pool_(pool),
      last_rescan_start_ms_(platform::TickCountMs()),
      saved_archives_(std::make_shared<const ArchiveCache>()),
      list_(std::make_shared<const std::vector<ImageEntry>>()),
      likes_(this, pool, files) {}

ImageCatalogue::~ImageCatalogue() {
  WaitForIdle();
}

void ImageCatalogue::SetFolders(std::vector<std::string> folders) {
  folders_ = std::move(folders);
}
void ImageCatalogue::SetRecursive(bool recursive) {
  recursive_ = recursive;
}
void ImageCatalogue::SetZipReject(bool zip_reject) {
  zip_reject_ = zip_reject;
}

void ImageCatalogue::SetWatchLimit(size_t max_watches) {
  watch_limit_ = max_watches;
}

bool ImageCatalogue::Rescan(bool full) {
  {
    platform::MutexLock hold(&jobs_lock_);
    if (scanning_) return false;
    scanning_ = true;
    // Made here, under the lock, so that the status page may read its counts.
    if (!tree_) tree_ = std::make_unique<FolderTree>(watch_limit_);
  }
  const int64_t now = platform::TickCountMs();
  if (!scanned_once_ || now - last_full_scan_start_ms_ >= kFullScanIntervalMs) full = true;
  if (full) last_full_scan_start_ms_ = now;
  scanned_once_ = true;
  pool_->Post(std::make_unique<CImgListJob>(this, folders_, ListingOptions{recursive_, zip_reject_},
                                            full),
              kScanPriority);
  return true;
}

void ImageCatalogue::Scan(const std::vector<std::string>& folders, const ListingOptions& options,
                          bool full) {
  const int64_t start = platform::TickCountMs();
  // A replaced list is freed where its last holder lets it go, which may be after the
  // release job has given the free pages back (the thumbnails made ahead hold the orders of
  // their list until they see the next). Given back again here, once per rescan, before
  // another list is formed beside the current one: otherwise the pages of the list before
  // stay resident beside both.
  platform::ReturnFreeMemory();
  const FolderTree::Pass pass = tree_->Refresh(folders, options, full, pool_, kScanPriority);
  std::shared_ptr<std::vector<ImageEntry>> list;
  std::shared_ptr<ArchiveCache> archives;
  if (pass.changed) {
    list = std::make_shared<std::vector<ImageEntry>>();
    archives = std::make_shared<ArchiveCache>();
    tree_->Form(list.get(), archives.get());
  }
  FinishScan(pass, static_cast<uint32_t>(platform::TickCountMs() - start), std::move(list),
             std::move(archives));
}

void ImageCatalogue::FinishScan(const FolderTree::Pass& pass, uint32_t ms,
                                std::shared_ptr<std::vector<ImageEntry>> list,
                                std::shared_ptr<const ArchiveCache> archives) {
  std::shared_ptr<std::vector<ImageEntry>> replaced;  // freed after the lock is released
  {
    WriterLock hold(&lock_);
    ++scan_count_;
    if (list) {
      replaced = std::exchange(scanned_, std::move(list));
      list_scan_count_ = scan_count_;
      saved_archives_ = std::move(archives);
    }
  }
  last_scan_ms_ = ms;
  {
    const int64_t now = platform::TickCountMs();
    const RescanRecord record{now, pass.listed, ms, pass.full};
    platform::MutexLock hold(&history_lock_);
    history_.push_back(record);
    while (!history_.empty() && now - history_.front().end_ms > kHistoryMs) history_.pop_front();
    if (pass.full) {
      full_scan_done_ = true;
      last_full_scan_ = record;
      last_full_scan_time_ = LocalTimeText(platform::LocalTimeNow());
    }
  }
  platform::MutexLock hold(&jobs_lock_);
  scanning_ = false;
  jobs_changed_.NotifyAll();
}

CatalogueStatus ImageCatalogue::Status() const {
  CatalogueStatus status;
  {
    platform::MutexLock hold(&jobs_lock_);
    if (tree_) {
      status.folders = tree_->FolderCount();
      status.watched = tree_->WatchCount();
    }
  }
  const int64_t now = platform::TickCountMs();
  platform::MutexLock hold(&history_lock_);
  for (const RescanRecord& record : history_) {
    if (now - record.end_ms <= kHistoryMs) status.last_hour.push_back(record);
  }
  status.full_scan_done = full_scan_done_;
  status.last_full_scan = last_full_scan_;
  status.last_full_scan_time = last_full_scan_time_;
  return status;
}

bool ImageCatalogue::IsScanning() const {
  platform::MutexLock hold(&jobs_lock_);
  return scanning_;
}

bool ImageCatalogue::IsSettled() const {
  {
    platform::MutexLock hold(&jobs_lock_);
    if (scanning_ || preparing_ || prepared_) return false;
  }
  ReaderLock hold(&lock_);
  return !scanned_;
}

void ImageCatalogue::WaitForIdle() const {
  platform::MutexLock hold(&jobs_lock_);
  while (scanning_ || preparing_) jobs_changed_.Wait(&jobs_lock_);
}

void ImageCatalogue::RescanWhenDue(int64_t pass_start_ms, bool zip_reject) {
  if (pass_start_ms - last_rescan_start_ms_ < kRescanIntervalMs) return;
  if (!IsScanning()) {
    SetZipReject(zip_reject);
    Rescan();
  }
  last_rescan_start_ms_ = pass_start_ms;
}

std::vector<ImageEntry> ImageCatalogue::GetFiles() const {
  {
    ReaderLock hold(&lock_);
    if (scanned_) return *scanned_;
  }
  return *CurrentList();
}

uint32_t ImageCatalogue::ScanCount() const {
  ReaderLock hold(&lock_);
  return scan_count_;
}

bool ImageCatalogue::GetMemberTime(std::string_view member_path, SystemTime* time) const {
  std::string archive, member;
  platform::FileStatus status;
  if (!SplitMemberPath(member_path, &archive, &member) || !platform::StatPath(archive, &status) ||
      !status.is_regular) {
    return false;
  }
  std::shared_ptr<const ArchiveCache> saved;
  {
    ReaderLock hold(&lock_);
    saved = saved_archives_;
  }
  const auto found = saved->find(archive);
  if (found == saved->end()) return false;
  const ArchiveCacheEntry& entry = *found->second;
  if (entry.size != status.size ||
      entry.lastWriteTime != FileTimeToTime(status.mtime_sec, status.mtime_nsec)) {
    return false;
  }
  for (const ArchiveMember& m : entry.members) {
    if (m.path == member_path) {
      *time = SystemTimeFromDos(m.dos_date, m.dos_time);
      return true;
    }
  }
  return false;
}

bool ImageCatalogue::UpdateList(bool logical) {
  {
    platform::MutexLock hold(&texts_lock_);
    diagnostics_.clear();
  }
  const int64_t start = platform::TickCountMs();
  bool changed = false;

  std::unique_ptr<Prepared> prepared;
  std::shared_ptr<std::vector<ImageEntry>> scanned;
  uint32_t scan_count = 0;
  {
    platform::MutexLock hold(&jobs_lock_);
    prepared = std::move(prepared_);
    if (!prepared && !preparing_) {
      // The job takes the scanned list for its own: it sorts it in place.
      WriterLock list_hold(&lock_);
      if (scanned_ && list_scan_count_ != consumed_scan_count_) {
        scanned = std::move(scanned_);
        scan_count = list_scan_count_;
        preparing_ = true;
      }
    }
  }
  if (scanned) {
    pool_->Post(std::make_unique<CPrepareListJob>(this, std::move(scanned), scan_count, logical),
                kPreparePriority);
  }
  if (prepared) {
    consumed_scan_count_ = prepared->scan_count;
    orders_.InstallOrders(prepared->orders);
    std::shared_ptr<const std::vector<ImageEntry>> replaced;
    {
      platform::MutexLock hold(&list_lock_);
      replaced = std::exchange(list_, prepared->list);
    }
    prepared.reset();
    pool_->Post(std::make_unique<CReleaseListJob>(std::move(replaced)), kPreparePriority);
    AppendDiagnostics("need_update_hash_list_only1:1");
    changed = true;
  }

  likes_.Update(platform::TickCountMs(), changed);

  std::string timing = "<br>updateList():" + std::to_string(platform::TickCountMs() - start) +
                       "<br>" + LocalTimeText(platform::LocalTimeNow()) + "<br>";
  platform::MutexLock hold(&texts_lock_);
  timing_ = std::move(timing);
  return changed;
}

void ImageCatalogue::FinishPreparing(Prepared prepared) {
  platform::MutexLock hold(&jobs_lock_);
  prepared_ = std::make_unique<Prepared>(std::move(prepared));
  preparing_ = false;
  jobs_changed_.NotifyAll();
}

std::shared_ptr<const std::vector<ImageEntry>> ImageCatalogue::CurrentList() const {
  platform::MutexLock hold(&list_lock_);
  return list_;
}

std::string ImageCatalogue::DiagnosticsText() const {
  platform::MutexLock hold(&texts_lock_);
  return diagnostics_;
}

std::string ImageCatalogue::TimingText() const {
  platform::MutexLock hold(&texts_lock_);
  return timing_;
}

void ImageCatalogue::AppendDiagnostics(std::string_view text) {
  platform::MutexLock hold(&texts_lock_);
  diagnostics_.append(text);
}
