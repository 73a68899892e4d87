#include "server/pictures/thumbnail_prefetch.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <thread>
#include <unordered_set>

#include "platform/clock.h"
#include "platform/mutex.h"
#include "server/catalogue/image_types.h"
#include "server/pictures/jpeg_decoder.h"

namespace {

constexpr std::array<ListOrder, 5> kOrders = {ListOrder::Name, ListOrder::Date,
                                              ListOrder::FolderTopByName,
                                              ListOrder::FolderTopByDate, ListOrder::Likes};

// A decode ahead runs in bursts with rests between (see the header), so that the server's
// share of the processors is never far ahead of the others' when a request comes.
constexpr auto kBurst = std::chrono::milliseconds(1);
constexpr auto kRest = std::chrono::milliseconds(3);

// Threads for work ahead: half the processors. Even at idle priority a reduction takes memory
// bandwidth and the process's memory map from the requests; on a small machine one at a
// time is what leaves their waits as they are.
int IdleThreadCount() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / 2);
}

}  // namespace

struct ThumbnailPrefetch::Work {
  explicit Work(std::shared_ptr<const OrderSet> set) : orders(std::move(set)) {
    // Page by page, a page of each order in turn; a picture on the first pages of several
    // orders is taken once.
    std::array<size_t, kOrders.size()> first_pages{};
    for (size_t o = 0; o < kOrders.size(); ++o) {
      first_pages[o] = std::min<size_t>(orders->Size(kOrders[o]), kFirstPages * kImagesPerPage);
    }
    for (size_t page = 0; page < kFirstPages; ++page) {
      for (size_t o = 0; o < kOrders.size(); ++o) {
        const size_t end = std::min(first_pages[o], (page + 1) * kImagesPerPage);
        for (size_t at = page * kImagesPerPage; at < end; ++at) {
          const ImageEntry& entry = orders->At(kOrders[o], at);
          if (first_paths.insert(entry.path).second) first.push_back(entry);
        }
      }
    }
    pictures = static_cast<uint32_t>(orders->Size(ListOrder::Name));
    turns = static_cast<uint32_t>(first.size()) + pictures;
  }

  // The picture of turn `index`: the first pages' pictures, then the name order without
  // them. False for a turn of the name order whose picture was taken among the first.
  bool Get(uint32_t index, ImageEntry* out) const {
    if (index < first.size()) {
      *out = first[index];
      return true;
    }
    const ImageEntry& entry = orders->At(ListOrder::Name, index - first.size());
    if (first_paths.count(entry.path) != 0) return false;
    *out = entry;
    return true;
  }

  const std::shared_ptr<const OrderSet> orders;
  std::vector<ImageEntry> first;
  // The paths of `first`, whose characters `orders` keeps.
  std::unordered_set<std::string_view> first_paths;
  uint32_t pictures = 0;  // in the name order
  uint32_t turns = 0;
  std::atomic<uint32_t> next{0};  // the next turn to take
  std::atomic<uint32_t> done{0};
  std::atomic<bool> stopped{false};
  bool keeps_on_disk = false;  // whether the store has its folder; main loop only
};

// Where a decode under way waits while requests come.
struct ThumbnailPrefetch::Gate {
  void Set(bool now_open) {
    {
      platform::MutexLock hold(&lock);
      open = now_open;
    }
    if (now_open) opened.NotifyAll();
  }
  void WaitOpen() {
    platform::MutexLock hold(&lock);
    while (!open) opened.Wait(&lock);
  }

  platform::Mutex lock;
  platform::CondVar opened;
  bool open GUARDED_BY(lock) = true;
};

// One background worker's share: reduces one picture per turn, then goes to the back of the
// queue again.
class ThumbnailPrefetch::Job : public CThreadCommand {
 public:
  Job(std::shared_ptr<Work> work, std::shared_ptr<Gate> gate, ThumbnailStore* store,
      std::shared_ptr<std::atomic<int32_t>> active)
      : work_(std::move(work)), gate_(std::move(gate)), store_(store), active_(std::move(active)) {}

  int Run() override {
    // Without its folder the store keeps only the last thumbnails made, and a full folder
    // would push out older ones: work ahead would throw away what requests made.
    if (!work_->stopped.load() && !store_->HasRoomAhead()) work_->stopped.store(true);
    ImageEntry entry;
    uint32_t index = work_->next.fetch_add(1);
    // A turn whose picture was taken among the first pages costs nothing: the next is taken.
    while (index < work_->turns && !work_->Get(index, &entry)) index = work_->next.fetch_add(1);
    if (work_->stopped.load() || index >= work_->turns) {
      active_->fetch_sub(1);
      return 0;
    }
    if (entry.size <= kLargestPictureAhead) {
      auto burst = std::chrono::steady_clock::now();
      // A stopping prefetch lets the decode run to its end at once.
      const std::function<void()> pause = [gate = gate_.get(), work = work_.get(), &burst] {
        gate->WaitOpen();
        const auto now = std::chrono::steady_clock::now();
        if (now - burst < kBurst || work->stopped.load()) return;
        std::this_thread::sleep_for(kRest);
        burst = std::chrono::steady_clock::now();
      };
      SetDecodePausePoint(&pause);
      store_->MakeAhead(std::string(entry.path), ImageContentType(entry.path), kThumbnail);
      SetDecodePausePoint(nullptr);
    }
    work_->done.fetch_add(1);
    // One job a turn: the next turn is taken only while the request pool has room.
    active_->fetch_sub(1);
    return 0;
  }

 private:
  std::shared_ptr<Work> work_;
  std::shared_ptr<Gate> gate_;
  ThumbnailStore* store_;
  std::shared_ptr<std::atomic<int32_t>> active_;
};

ThumbnailPrefetch::ThumbnailPrefetch(const OrderedLists& lists, MySystem::CThreadMgr* pool,
                                     ThumbnailStore* store)
    : lists_(lists),
      pool_(pool),
      store_(store),
      last_served_ms_(std::numeric_limits<int64_t>::min() / 2),
      gate_(std::make_shared<Gate>()),
      active_(std::make_shared<std::atomic<int32_t>>(0)),
      idle_pool_(IdleThreadCount()) {}

ThumbnailPrefetch::~ThumbnailPrefetch() {
  Stop();
  idle_pool_.Stop();
}

void ThumbnailPrefetch::Stop() {
  if (work_) work_->stopped.store(true);
  gate_->Set(true);
  gate_open_ = true;
}

void ThumbnailPrefetch::Update(bool serving) {
  std::shared_ptr<const OrderSet> current = lists_.Current();
  if (!work_ || work_->orders != current) {
    if (work_) work_->stopped.store(true);
    work_ = std::make_shared<Work>(std::move(current));
    total_ = work_->pictures;
    // Asked once a list, not every turn: the loop never takes the store's lock for it.
    work_->keeps_on_disk = store_->PrepareFolder();
  }
  done_ = std::min(work_->done.load(), work_->pictures);
  const int64_t now = platform::TickCountMs();
  if (serving) last_served_ms_ = now;
  const bool quiet = now - last_served_ms_ >= kQuietMs;
  if (quiet != gate_open_) {
    gate_->Set(quiet);
    gate_open_ = quiet;
  }
  if (!quiet) return;
  // Never more turns at once than there are background threads, so that none waits queued
  // while requests come in; and never more than the request pool has idle workers, so that a
  // picture made ahead never holds memory or the disk a request is waiting for.
  const int32_t spare =
      std::min(idle_pool_.ThreadCount(), pool_->ThreadCount() - pool_->RunningJobs());
  while (TurnsLeft() && active_->load() < spare) {
    active_->fetch_add(1);
    idle_pool_.Post(std::make_unique<Job>(work_, gate_, store_, active_), 0);
  }
}

uint32_t ThumbnailPrefetch::Done() const {
  return done_.load();
}

uint32_t ThumbnailPrefetch::Total() const {
  return total_.load();
}

bool ThumbnailPrefetch::TurnsLeft() const {
  return work_ && work_->keeps_on_disk && !work_->stopped.load() &&
         work_->next.load() < work_->turns;
}

bool ThumbnailPrefetch::Working() const {
  return active_->load() > 0 || TurnsLeft();
}

int32_t ThumbnailPrefetch::ActiveJobs() const {
  return active_->load();
}
