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
  std::vector<CThreadCommand*> dropped;
  {
    std::lock_guard<std::mutex> hold(lock_);
    running_ = false;
    for (const QueueEntry& e : queue_) {
      if (e.job->answers_) dropped.push_back(e.job);
    }
    std::erase_if(queue_, [](const QueueEntry& e) { return e.job->answers_; });
    std::make_heap(queue_.begin(), queue_.end(), RunsLater());
    answering_.clear();
  }
  queue_changed_.notify_all();
  for (CThreadCommand* job : dropped) delete job;
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  std::vector<QueueEntry> left;
  {
    std::lock_guard<std::mutex> hold(lock_);
    workers_ended_ = true;
    // Posted by another thread after the last worker found the queue empty.
    left.swap(queue_);
  }
  for (const QueueEntry& e : left) delete e.job;
}

int CThreadMgr::Post(CThreadCommand* job, int32_t priority, void* owner, int32_t) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (running_ || (!job->answers_ && !workers_ended_)) {
      if (job_id_counter_ == -1) job_id_counter_ = 0;
      // Wraps from the largest id to the smallest without signed overflow.
      job_id_counter_ = static_cast<int32_t>(static_cast<uint32_t>(job_id_counter_) + 1u);
      job->job_id_ = job_id_counter_;
      job->owner_ = owner;
      job->priority_ = priority;
      queue_.push_back(QueueEntry{job, priority, ++sequence_});
      std::push_heap(queue_.begin(), queue_.end(), RunsLater());
      CountAnswering(*job, 1);
      job = nullptr;
    }
  }
  if (job != nullptr) {
    delete job;  // refused by a stopping pool
    return 0;
  }
  queue_changed_.notify_one();
  return 0;
}

void CThreadMgr::WorkerLoop() {
  for (;;) {
    QueueEntry entry;
    {
      std::unique_lock<std::mutex> hold(lock_);
      // The running flag is only looked at with an empty queue, so shutdown drains it first.
      queue_changed_.wait(hold, [this] { return !queue_.empty() || !running_; });
      if (queue_.empty()) return;
      std::pop_heap(queue_.begin(), queue_.end(), RunsLater());
      entry = queue_.back();
      queue_.pop_back();
      CountAnswering(*entry.job, -1);
    }
    ++running_jobs_;
    int again = entry.job->Run();
    --running_jobs_;
    if (again != 0) {
      Post(entry.job, entry.priority, entry.job->owner_, 0);
    } else {
      delete entry.job;
    }
  }
}

uint64_t CThreadMgr::ConnectionKey(platform::SocketHandle socket, int32_t connection_id) {
  return (uint64_t{static_cast<uint32_t>(socket)} << 32) | static_cast<uint32_t>(connection_id);
}

void CThreadMgr::CountAnswering(const CThreadCommand& job, int delta) {
  if (!job.answers_) return;
  const uint64_t key = ConnectionKey(job.socket_, job.connection_id_);
  if ((answering_[key] += delta) == 0) answering_.erase(key);
}

int CThreadMgr::DropJobsFor(platform::SocketHandle socket, int32_t connection_id) {
  std::vector<CThreadCommand*> dropped;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (answering_.erase(ConnectionKey(socket, connection_id)) == 0) return 0;
    auto answers = [&](const QueueEntry& e) {
      return e.job->answers_ && e.job->socket_ == socket && e.job->connection_id_ == connection_id;
    };
    for (const QueueEntry& e : queue_) {
      if (answers(e)) dropped.push_back(e.job);
    }
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), answers), queue_.end());
    std::make_heap(queue_.begin(), queue_.end(), RunsLater());
  }
  for (CThreadCommand* job : dropped) delete job;
  return static_cast<int>(dropped.size());
}

size_t CThreadMgr::QueuedJobs() {
  std::lock_guard<std::mutex> hold(lock_);
  return queue_.size();
}

int ServerThreadCount() {
  return std::max(4, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace MySystem
