#include "server/threads/thread_mgr.h"

#include <algorithm>

namespace MySystem {

CThreadMgr::CThreadMgr(int thread_count) {
  thread_count = std::max(thread_count, 1);
  threads_.reserve(thread_count);
  for (int i = 0; i < thread_count; ++i) threads_.emplace_back([this] { WorkerLoop(); });
}

CThreadMgr::~CThreadMgr() {
  Stop();
}

void CThreadMgr::Stop() {
  std::vector<std::unique_ptr<CThreadCommand>> dropped;
  {
    platform::MutexLock hold(&lock_);
    running_ = false;
    auto kept = std::stable_partition(queue_.begin(), queue_.end(), [](const QueueEntry& e) {
      return e.job->client_ == nullptr;
    });
    for (auto it = kept; it != queue_.end(); ++it) dropped.push_back(std::move(it->job));
    queue_.erase(kept, queue_.end());
    std::make_heap(queue_.begin(), queue_.end(), RunsLater());
    answering_.clear();
  }
  queue_changed_.NotifyAll();
  // Deleted outside the lock: a job's destructor may post another job.
  dropped.clear();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  std::vector<QueueEntry> left;
  {
    platform::MutexLock hold(&lock_);
    workers_ended_ = true;
    // Posted by another thread after the last worker found the queue empty.
    left.swap(queue_);
  }
}

void CThreadMgr::Post(std::unique_ptr<CThreadCommand> job, int32_t priority) {
  {
    platform::MutexLock hold(&lock_);
    // A stopping pool answers no more clients, and once its workers have ended runs nothing:
    // the job is deleted unrun (outside the lock, below).
    if (running_ || (job->client_ == nullptr && !workers_ended_)) {
      if (job_id_counter_ == -1) job_id_counter_ = 0;
      // Wraps from the largest id to the smallest without signed overflow.
      job_id_counter_ = static_cast<int32_t>(static_cast<uint32_t>(job_id_counter_) + 1u);
      job->job_id_ = job_id_counter_;
      job->priority_ = priority;
      CountAnswering(*job, 1);
      queue_.push_back(QueueEntry{std::move(job), priority, ++sequence_});
      std::push_heap(queue_.begin(), queue_.end(), RunsLater());
    }
  }
  if (job == nullptr) queue_changed_.NotifyOne();
}

void CThreadMgr::WorkerLoop() {
  for (;;) {
    QueueEntry entry;
    {
      platform::MutexLock hold(&lock_);
      // The running flag is only looked at with an empty queue, so shutdown drains it first.
      while (queue_.empty() && running_) queue_changed_.Wait(&lock_);
      if (queue_.empty()) return;
      std::pop_heap(queue_.begin(), queue_.end(), RunsLater());
      entry = std::move(queue_.back());
      queue_.pop_back();
      CountAnswering(*entry.job, -1);
    }
    ++running_jobs_;
    int again = entry.job->Run();
    --running_jobs_;
    if (again != 0) Post(std::move(entry.job), entry.priority);
  }
}

void CThreadMgr::CountAnswering(const CThreadCommand& job, int delta) {
  if (job.client_ == nullptr) return;
  if ((answering_[job.client_] += delta) == 0) answering_.erase(job.client_);
}

int CThreadMgr::DropJobsFor(const void* client) {
  std::vector<std::unique_ptr<CThreadCommand>> dropped;
  {
    platform::MutexLock hold(&lock_);
    if (client == nullptr || answering_.erase(client) == 0) return 0;
    auto answers = [&](const QueueEntry& e) { return e.job->client_ == client; };
    auto kept = std::stable_partition(queue_.begin(), queue_.end(),
                                      [&](const QueueEntry& e) { return !answers(e); });
    for (auto it = kept; it != queue_.end(); ++it) dropped.push_back(std::move(it->job));
    queue_.erase(kept, queue_.end());
    std::make_heap(queue_.begin(), queue_.end(), RunsLater());
  }
  // Deleted outside the lock: a job's destructor may post another job.
  const int count = static_cast<int>(dropped.size());
  dropped.clear();
  return count;
}

size_t CThreadMgr::QueuedJobs() {
  platform::MutexLock hold(&lock_);
  return queue_.size();
}

int ServerThreadCount() {
  return std::max(4, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace MySystem
