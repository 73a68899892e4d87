#include "server/catalogue/for_each_index.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/mutex.h"

namespace {

// Indices a helper runs in one turn on a worker: files hashed or looked for, a few
// milliseconds' work.
constexpr size_t kIndicesPerTurn = 64;

}  // namespace

void ForEachIndex(MySystem::CThreadMgr* pool, int32_t priority, size_t count,
                  const std::function<void(size_t)>& body) {
  struct Shared {
    std::atomic<size_t> next{0};
    size_t count = 0;
    const std::function<void(size_t)>* body = nullptr;
    platform::Mutex lock;
    platform::CondVar idle;
    int running GUARDED_BY(lock) = 0;  // helpers in a turn
    // Runs up to `limit` indices; false when they have run out.
    bool Work(size_t limit) {
      for (size_t done = 0; done < limit; ++done) {
        const size_t i = next++;
        if (i >= count) return false;
        (*body)(i);
      }
      return true;
    }
  };
  class Helper : public CThreadCommand {
   public:
    explicit Helper(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    int Run() override {
      {
        platform::MutexLock hold(&shared_->lock);
        ++shared_->running;
      }
      const bool more = shared_->Work(kIndicesPerTurn);
      platform::MutexLock hold(&shared_->lock);
      if (--shared_->running == 0) shared_->idle.NotifyAll();
      return more ? 1 : 0;
    }

   private:
    std::shared_ptr<Shared> shared_;
  };

  auto shared = std::make_shared<Shared>();
  shared->count = count;
  shared->body = &body;
  const int helpers = count < 2 ? 0 : std::max(0, pool->ThreadCount() - 1);
  for (int h = 0; h < helpers; ++h) pool->Post(std::make_unique<Helper>(shared), priority);
  shared->Work(SIZE_MAX);
  // Every index is claimed; a helper still counted as running is finishing its last one.
  platform::MutexLock hold(&shared->lock);
  while (shared->running != 0) shared->idle.Wait(&shared->lock);
}
