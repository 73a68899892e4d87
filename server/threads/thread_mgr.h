// The worker pool: a fixed set of threads that run slow jobs (scans, image work, uploads)
// off the server loop, in priority order.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/mutex.h"

namespace MySystem {
class CThreadMgr;
}

// A job for the worker pool. Derived jobs carry their own data.
class CThreadCommand {
 public:
  virtual ~CThreadCommand() = default;

  // Does the job on a worker thread. Returns 0 when finished (the pool then deletes the
  // job) and nonzero to be queued again, with a new id, behind the jobs of its priority
  // already waiting.
  virtual int Run() = 0;

  // Tests only.
  int32_t job_id() const { return job_id_; }
  int32_t priority() const { return priority_; }

  // Marks the job as one whose only purpose is to answer `client` (any object that names one
  // client, such as the responder of its request, and lives while the job is queued): once
  // the client has left, the pool may drop the job before it starts (DropJobsFor).
  void AnswersClient(const void* client) { client_ = client; }

 private:
  friend class MySystem::CThreadMgr;
  int32_t job_id_ = 0;
  int32_t priority_ = 0;
  const void* client_ = nullptr;  // the client it answers, null when it is not only that
};

namespace MySystem {

class CThreadMgr {
 public:
  // Starts `thread_count` workers (at least one).
  explicit CThreadMgr(int thread_count);
  // Stop, unless it was called already.
  ~CThreadMgr();
  CThreadMgr(const CThreadMgr&) = delete;
  CThreadMgr& operator=(const CThreadMgr&) = delete;

  // Queues `job`; it is deleted after its last Run (or unrun by a stopping pool, see Stop).
  // The smallest priority runs first; equal priorities run in posting order.
  void Post(std::unique_ptr<CThreadCommand> job, int32_t priority) EXCLUDES(lock_);

  // Deletes, without running them, the queued jobs that answer `client` (see
  // CThreadCommand::AnswersClient); a job already running finishes. Returns how many were
  // dropped. Cheap when the client has none queued.
  int DropJobsFor(const void* client) EXCLUDES(lock_);

  // Stops the pool for good, so that what its jobs use may then be freed: deletes without
  // running the queued jobs that answer a client (a stopping server answers no more), lets
  // the running jobs and the other queued ones finish, and returns once every worker has
  // ended. Meanwhile a job posted that answers a client is deleted unrun; once the workers
  // have ended, so is every job posted. Background work is to be told to stop before, so
  // that its queued jobs end at once. Any thread but a worker.
  void Stop() EXCLUDES(lock_);

  // Jobs whose Run is executing now.
  int32_t RunningJobs() const { return running_jobs_.load(); }
  // Jobs waiting for a worker.
  // Tests only.
  size_t QueuedJobs() EXCLUDES(lock_);
  int ThreadCount() const { return static_cast<int>(threads_.size()); }

 private:
  struct QueueEntry {
    std::unique_ptr<CThreadCommand> job;
    int32_t priority;
    // Posting order. 64 bits, so the order survives the 32-bit job id wrapping around.
    uint64_t sequence;
  };
  // std::priority_queue puts the greatest first: "greater" here means "runs later".
  struct RunsLater {
    bool operator()(const QueueEntry& a, const QueueEntry& b) const {
      if (a.priority != b.priority) return a.priority > b.priority;
      return a.sequence > b.sequence;
    }
  };

  void WorkerLoop();
  // Counts a job in or out of answering_ as it enters or leaves the queue.
  void CountAnswering(const CThreadCommand& job, int delta) REQUIRES(lock_);

  // Pool lock, which idle workers wait on `queue_changed_` with. A leaf: nothing else is
  // taken while it is held, so a job may be posted with any other lock held.
  platform::Mutex lock_;
  platform::CondVar queue_changed_;
  // A heap ordered by RunsLater (its top runs first); a plain vector so that the jobs of a
  // closed connection can be taken out of it.
  std::vector<QueueEntry> queue_ GUARDED_BY(lock_);
  // Queued jobs per client they answer, so that a departure finds none in constant time.
  std::unordered_map<const void*, int> answering_ GUARDED_BY(lock_);
  int32_t job_id_counter_ GUARDED_BY(lock_) = 0;
  uint64_t sequence_ GUARDED_BY(lock_) = 0;
  bool running_ GUARDED_BY(lock_) = true;  // false once Stop began
  bool workers_ended_ GUARDED_BY(lock_) = false;
  std::atomic<int32_t> running_jobs_{0};
  std::vector<std::thread> threads_;
};

// The number of workers the server's pool has: max(4, processors).
int ServerThreadCount();

}  // namespace MySystem
