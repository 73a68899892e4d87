#include "server/pictures/thumbnail_prefetch.h"

#include <algorithm>
#include <array>
#include <thread>

#include "server/catalogue/image_types.h"

namespace {

constexpr std::array<ListOrder, 5> kOrders = {ListOrder::Name, ListOrder::Date,
                                              ListOrder::FolderTopByName,
                                              ListOrder::FolderTopByDate, ListOrder::Likes};

// Threads for work ahead: half the processors. Even at idle priority a reduction takes memory
// bandwidth and the process's memory map from the requests; on a small machine one at a
// time is what leaves their waits as they are.
int IdleThreadCount() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / 2);
}

}  // namespace

struct ThumbnailPrefetch::Work {
  explicit Work(std::shared_ptr<const OrderSet> set) : orders(std::move(set)) {
    for (size_t o = 0; o < kOrders.size(); ++o) {
      first_pages[o] = static_cast<uint32_t>(
          std::min<size_t>(orders->Size(kOrders[o]), kFirstPages * kImagesPerPage));
      first_count += first_pages[o];
    }
    count = first_count + static_cast<uint32_t>(orders->Size(ListOrder::Name));
  }

  // The picture of turn `index`: page by page, a page of each order in turn, for the first
  // pages; then the name order.
  bool Get(uint32_t index, ImageEntry* out) const {
    if (index >= first_count) {
      *out = orders->At(ListOrder::Name, index - first_count);
      return true;
    }
    for (uint32_t page = 0; page < kFirstPages; ++page) {
      for (size_t o = 0; o < kOrders.size(); ++o) {
        const uint32_t begin = page * kImagesPerPage;
        if (begin >= first_pages[o]) continue;
        const uint32_t size = std::min(kImagesPerPage, first_pages[o] - begin);
        if (index < size) {
          *out = orders->At(kOrders[o], begin + index);
          return true;
        }
        index -= size;
      }
    }
    return false;
  }

  const std::shared_ptr<const OrderSet> orders;
  std::array<uint32_t, kOrders.size()> first_pages{};
  uint32_t first_count = 0;
  uint32_t count = 0;
  std::atomic<uint32_t> next{0};  // the next turn to take
  std::atomic<uint32_t> done{0};
  std::atomic<bool> stopped{false};
  bool keeps_on_disk = false;  // whether the store has its folder; main loop only
};

// One background worker's share: reduces one picture per turn, then goes to the back of the
// queue again.
class ThumbnailPrefetch::Job : public CThreadCommand {
 public:
  Job(std::shared_ptr<Work> work, ThumbnailStore* store,
      std::shared_ptr<std::atomic<int32_t>> active)
      : work_(std::move(work)), store_(store), active_(std::move(active)) {}

  int Run() override {
    // Without its folder the store keeps only the last thumbnails made, and a full folder
    // would push out older ones: work ahead would throw away what requests made.
    if (!work_->stopped.load() && !store_->HasRoomAhead()) work_->stopped.store(true);
    const uint32_t index = work_->next.fetch_add(1);
    if (work_->stopped.load() || index >= work_->count) {
      active_->fetch_sub(1);
      return 0;
    }
    ImageEntry entry;
    if (work_->Get(index, &entry) && entry.size <= kLargestPictureAhead) {
      store_->MakeAhead(entry.path, ImageContentType(entry.path), kThumbnail);
    }
    work_->done.fetch_add(1);
    // One job a turn: the next turn is taken only while the request pool has room.
    active_->fetch_sub(1);
    return 0;
  }

 private:
  std::shared_ptr<Work> work_;
  ThumbnailStore* store_;
  std::shared_ptr<std::atomic<int32_t>> active_;
};

ThumbnailPrefetch::ThumbnailPrefetch(const OrderedLists& lists, MySystem::CThreadMgr* pool,
                                     ThumbnailStore* store)
    : lists_(lists),
      pool_(pool),
      store_(store),
      active_(std::make_shared<std::atomic<int32_t>>(0)),
      idle_pool_(IdleThreadCount()) {}

ThumbnailPrefetch::~ThumbnailPrefetch() {
  Stop();
  idle_pool_.Stop();
}

void ThumbnailPrefetch::Stop() {
  if (work_) work_->stopped.store(true);
}

void ThumbnailPrefetch::Update() {
  std::shared_ptr<const OrderSet> current = lists_.Current();
  if (!work_ || work_->orders != current) {
    if (work_) work_->stopped.store(true);
    work_ = std::make_shared<Work>(std::move(current));
    total_ = work_->count;
    // Asked once a list, not every turn: the loop never takes the store's lock for it.
    work_->keeps_on_disk = store_->PrepareFolder();
  }
  done_ = work_->done.load();
  // As many turns at once as the request pool has idle workers, so that a picture made ahead
  // never holds memory or the disk a request is waiting for.
  const int32_t spare = pool_->ThreadCount() - pool_->RunningJobs();
  while (work_->keeps_on_disk && !work_->stopped.load() && work_->next.load() < work_->count &&
         active_->load() < spare) {
    active_->fetch_add(1);
    idle_pool_.Post(std::make_unique<Job>(work_, store_, active_), 0);
  }
}

uint32_t ThumbnailPrefetch::Done() const {
  return done_.load();
}

uint32_t ThumbnailPrefetch::Total() const {
  return total_.load();
}

int32_t ThumbnailPrefetch::ActiveJobs() const {
  return active_->load();
}
