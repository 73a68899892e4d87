// The worker pool: a fixed set of threads that run slow jobs (scans, image work, uploads)
// off the server loop, in priority order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/tcp_socket.h"

namespace MySystem {
class CThreadMgr;
}

// A job for the worker pool. Derived jobs carry their own data.
class CThreadCommand {
 public:
  virtual ~CThreadCommand() = default;

  // Does the job on a worker thread. Returns 0 when finished (the pool then deletes the
  // job) and nonzero to be queued again behind the jobs of its priority already waiting.
  virtual int Run() = 0;

  int32_t job_id() const { return job_id_; }
  void* owner() const { return owner_; }
  int32_t priority() const { return priority_; }

  // Marks the job as one whose only purpose is to answer this connection: once the
  // connection has closed, the pool may drop the job before it starts (DropJobsFor).
  void AnswersConnection(platform::SocketHandle socket, int32_t connection_id) {
    answers_ = true;
    socket_ = socket;
    connection_id_ = connection_id;
  }

 private:
  friend class MySystem::CThreadMgr;
  int32_t job_id_ = 0;
  void* owner_ = nullptr;  // the object that posted the job, or null
  int32_t priority_ = 0;
  bool answers_ = false;  // whether socket_ and connection_id_ name the connection it answers
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  int32_t connection_id_ = 0;
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

  // Takes ownership of `job`; it is deleted after its last Run. The smallest priority runs
  // first; equal priorities run in posting order. `low_priority` does not change the worker's
  // scheduling priority: Linux lets an unprivileged thread lower its priority but not raise
  // it back, so the worker would stay slow for every later job. Returns 0.
  int Post(CThreadCommand* job, int32_t priority, void* owner, int32_t low_priority);

  // Deletes, without running them, the queued jobs that answer the connection (see
  // CThreadCommand::AnswersConnection); a job already running finishes. Returns how many
  // were dropped. Cheap when the connection has none queued.
  int DropJobsFor(platform::SocketHandle socket, int32_t connection_id);

  // Stops the pool for good, so that what its jobs use may then be freed: deletes without
  // running the queued jobs that answer a connection (a stopping server answers no more),
  // lets the running jobs and the other queued ones finish, and returns once every worker
  // has ended. Meanwhile a job posted that answers a connection is deleted unrun; once the
  // workers have ended, so is every job posted. Background work is to be told to stop
  // before, so that its queued jobs end at once. Any thread but a worker.
  void Stop();

  // Jobs whose Run is executing now.
  int32_t RunningJobs() const { return running_jobs_.load(); }
  // Jobs waiting for a worker.
  size_t QueuedJobs();
  int ThreadCount() const { return static_cast<int>(threads_.size()); }

 private:
  struct QueueEntry {
    CThreadCommand* job;
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
  static uint64_t ConnectionKey(platform::SocketHandle socket, int32_t connection_id);
  // Counts a job in or out of answering_ as it enters or leaves the queue.
  void CountAnswering(const CThreadCommand& job, int delta);

  // Pool lock: a std::mutex, because idle workers wait on `queue_changed_` with it.
  std::mutex lock_;
  std::condition_variable queue_changed_;
  // A heap ordered by RunsLater (its top runs first); a plain vector so that the jobs of a
  // closed connection can be taken out of it.
  std::vector<QueueEntry> queue_;  // guarded by lock_
  // Queued jobs per connection they answer, so that a close finds none in constant time.
  std::unordered_map<uint64_t, int> answering_;  // guarded by lock_
  int32_t job_id_counter_ = 0;                   // guarded by lock_
  uint64_t sequence_ = 0;                        // guarded by lock_
  bool running_ = true;                          // false once Stop began; guarded by lock_
  bool workers_ended_ = false;                   // guarded by lock_
  std::atomic<int32_t> running_jobs_{0};
  std::vector<std::thread> threads_;
};

// The number of workers the server's pool has: max(4, processors).
int ServerThreadCount();

}  // namespace MySystem
