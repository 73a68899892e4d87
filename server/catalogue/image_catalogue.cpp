#include "server/catalogue/image_catalogue.h"

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/free_memory.h"
#include "platform/local_time.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/compare_updatelist.h"
#include "server/catalogue/img_list_job.h"
#include "server/catalogue/member_path.h"

namespace {

constexpr int kScanPriority = 50;
constexpr int kComparePriority = 0;
constexpr int64_t kRescanIntervalMs = 30000;

// Frees a scan result on the pool: its many paths take milliseconds to free, which the loop
// thread is not to spend. Then gives the pages back, as after an unchanged rescan.
class CReleaseScanJob : public CThreadCommand {
 public:
  explicit CReleaseScanJob(std::shared_ptr<CImageLister> lister) : lister_(std::move(lister)) {}
  int Run() override {
    lister_.reset();
    platform::ReturnFreeMemory();
    return 0;
  }

 private:
  std::shared_ptr<CImageLister> lister_;
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

bool ImageCatalogue::Rescan() {
  {
    platform::MutexLock hold(&jobs_lock_);
    if (scanning_) return false;
    scanning_ = true;
  }
  auto lister = std::make_shared<CImageLister>(recursive_, zip_reject_);
  {
    WriterLock hold(&lock_);
    // Unchanged archives are taken from the last scan instead of being read again.
    lister->SetArchiveCache(*saved_archives_);
    // Before the first scan has ended its lister is the current one, readable as it grows.
    if (scan_count_ == 0 && !lister_) lister_ = lister;
  }
  pool_->Post(std::make_unique<CImgListJob>(this, std::move(lister), folders_), kScanPriority);
  return true;
}

void ImageCatalogue::FinishScan(const std::shared_ptr<CImageLister>& lister) {
  {
    WriterLock hold(&lock_);
    lister_ = lister;
    saved_archives_ = std::make_shared<const ArchiveCache>(lister->archive_cache());
    ++scan_count_;
  }
  last_scan_ms_ = lister->LastScanMs();
  platform::MutexLock hold(&jobs_lock_);
  scanning_ = false;
  jobs_changed_.NotifyAll();
}

bool ImageCatalogue::IsScanning() const {
  platform::MutexLock hold(&jobs_lock_);
  return scanning_;
}

void ImageCatalogue::WaitForIdle() const {
  platform::MutexLock hold(&jobs_lock_);
  while (scanning_ || comparing_) jobs_changed_.Wait(&jobs_lock_);
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
  std::shared_ptr<CImageLister> lister;
  {
    ReaderLock hold(&lock_);
    lister = lister_;
  }
  if (lister) return lister->Files();
  return *CurrentList();
}

uint32_t ImageCatalogue::ScanCount() const {
  ReaderLock hold(&lock_);
  return scan_count_;
}

bool ImageCatalogue::GetMemberTime(const std::string& member_path, SystemTime* time) const {
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

  std::unique_ptr<Comparison> compared;
  std::shared_ptr<CImageLister> scanned;
  uint32_t scan_count;
  {
    ReaderLock hold(&lock_);
    scan_count = scan_count_;
    scanned = lister_;
  }
  bool compare = false;
  {
    platform::MutexLock hold(&jobs_lock_);
    compared = std::move(compared_);
    if (!compared && !comparing_ && scan_count != consumed_scan_count_) {
      comparing_ = true;
      compare = true;
    }
  }
  if (compare) {
    pool_->Post(
        std::make_unique<CCompareUpdatelist>(this, CurrentList(), scanned, scan_count, logical),
        kComparePriority);
  }
  if (compared) {
    // An equal result is taken as consumed too, so an unchanged tree is compared once per
    // scan instead of on every pass of the loop.
    consumed_scan_count_ = compared->scan_count;
    if (compared->differs) {
      orders_.InstallOrders(compared->orders);
      {
        platform::MutexLock hold(&list_lock_);
        list_ = compared->list;
      }
      if (std::shared_ptr<CImageLister> released = ReleaseScan(compared->scan_count)) {
        pool_->Post(std::make_unique<CReleaseScanJob>(std::move(released)), kComparePriority);
      }
      AppendDiagnostics("need_update_hash_list_only1:1");
      changed = true;
    }
  }

  likes_.Update(platform::TickCountMs(), changed);

  std::string timing = "<br>updateList():" + std::to_string(platform::TickCountMs() - start) +
                       "<br>" + LocalTimeText(platform::LocalTimeNow()) + "<br>";
  platform::MutexLock hold(&texts_lock_);
  timing_ = std::move(timing);
  return changed;
}

void ImageCatalogue::FinishComparison(Comparison comparison) {
  if (!comparison.differs) {
    // The scan found what the list holds already. Its result is freed here in many small
    // blocks: the pages go back to the system before the job counts as done, so that the
    // resident size stays that of one catalogue however many rescans run.
    ReleaseScan(comparison.scan_count).reset();
    platform::ReturnFreeMemory();
  }
  platform::MutexLock hold(&jobs_lock_);
  compared_ = std::make_unique<Comparison>(std::move(comparison));
  comparing_ = false;
  jobs_changed_.NotifyAll();
}

std::shared_ptr<CImageLister> ImageCatalogue::ReleaseScan(uint32_t scan_count) {
  WriterLock hold(&lock_);
  // A scan that ended meanwhile has not been compared yet: it stays.
  if (scan_count != scan_count_) return nullptr;
  return std::move(lister_);
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
