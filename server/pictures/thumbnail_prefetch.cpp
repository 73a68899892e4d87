#include "server/pictures/thumbnail_prefetch.h"

#include "server/catalogue/image_types.h"

struct ThumbnailPrefetch::Work {
  explicit Work(std::shared_ptr<const OrderSet> set)
      : orders(std::move(set)), view(orders, ListOrder::Name, ""), count(view.Count()) {}

  const std::shared_ptr<const OrderSet> orders;
  const FilteredView view;
  const uint32_t count;
  std::atomic<uint32_t> next{0};  // the next position to take
  std::atomic<uint32_t> done{0};
  std::atomic<bool> stopped{false};
};

// One background worker's share: reduces one picture per turn, then goes to the back of the
// queue again.
class ThumbnailPrefetch::Job : public CThreadCommand {
 public:
  Job(std::shared_ptr<Work> work, ThumbnailStore* store,
      std::shared_ptr<std::atomic<int32_t>> active)
      : work_(std::move(work)), store_(store), active_(std::move(active)) {}

  int Run() override {
    const uint32_t position = work_->next.fetch_add(1);
    // Without its folder the store keeps only the last thumbnails made: work ahead would
    // push out the ones requests just made.
    if (work_->stopped.load() || position >= work_->count || !store_->UsesDisk()) {
      active_->fetch_sub(1);
      return 0;
    }
    ImageEntry entry;
    if (work_->view.Get(position, &entry) && entry.size <= kLargestPictureAhead) {
      const std::string_view type = ImageContentType(entry.path);
      ReducedPicture ignored;
      if (!store_->Has(entry.path, type, kThumbnail)) {
        store_->Find(entry.path, type, kThumbnail, &ignored);
      }
    }
    work_->done.fetch_add(1);
    return 1;
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
      active_(std::make_shared<std::atomic<int32_t>>(0)) {}

ThumbnailPrefetch::~ThumbnailPrefetch() {
  Stop();
}

void ThumbnailPrefetch::Stop() {
  if (work_) work_->stopped.store(true);
}

void ThumbnailPrefetch::Update() {
  std::shared_ptr<const OrderSet> current = lists_.Current();
  if (!work_ || work_->orders != current) {
    if (work_) work_->stopped.store(true);
    work_ = std::make_shared<Work>(std::move(current));
  }
  // Jobs of a replaced list end at their next turn; new ones take their places as they go.
  // The folder is made before the first job, so a store that cannot keep thumbnails on disk
  // is known before any work is done ahead.
  while (work_->next.load() < work_->count && active_->load() < pool_->ThreadCount() &&
         store_->PrepareFolder()) {
    active_->fetch_add(1);
    pool_->Post(std::make_unique<Job>(work_, store_, active_), kPriority);
  }
}

uint32_t ThumbnailPrefetch::Done() const {
  return work_ ? work_->done.load() : 0;
}

int32_t ThumbnailPrefetch::ActiveJobs() const {
  return active_->load();
}
