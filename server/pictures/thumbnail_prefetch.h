// Makes the thumbnails of the catalogue ahead of the requests for them: after a scan has
// produced a list, its pictures are reduced in the name order (the first pages of the
// default order first) on jobs of the worker pool that run behind every other job. At most
// one such job per worker is queued or running, and each reduces one picture before it
// queues itself again behind the waiting jobs, so a request never waits behind more than one
// background reduction per worker. A new list stops the work on the old one; a store that
// cannot keep thumbnails on disk stops it altogether.
#pragma once

#include <atomic>
#include <memory>

#include "server/catalogue/ordered_lists.h"
#include "server/pictures/thumbnail_store.h"
#include "server/threads/thread_mgr.h"

class ThumbnailPrefetch {
 public:
  // Behind the scan (50) and every request job.
  static constexpr int32_t kPriority = 1000;
  // Pictures larger than this (a ZIP member's uncompressed size) are left to the requests
  // for them: reading one ahead would take a large share of the read budget for a thumbnail
  // nobody may ask for.
  static constexpr uint64_t kLargestPictureAhead = uint64_t{64} << 20;

  // `lists`, `pool` and `store` must outlive the jobs: the server destroys its pool, and so
  // ends the jobs, before the others.
  ThumbnailPrefetch(const OrderedLists& lists, MySystem::CThreadMgr* pool, ThumbnailStore* store);
  // Stop.
  ~ThumbnailPrefetch();

  // Ends the work on the current list: its jobs end at their next turn without reducing, so
  // that a stopping pool is not kept waiting by them. The next Update takes up a new list.
  void Stop();

  // Called on every turn of the server loop: starts over on a new list, and keeps one job
  // per worker while there are pictures left.
  void Update();

  // Pictures of the current list looked at so far (made or found made).
  // Tests only.
  uint32_t Done() const;
  // Background jobs queued or running now.
  // Tests only.
  int32_t ActiveJobs() const;

 private:
  struct Work;
  class Job;

  const OrderedLists& lists_;
  MySystem::CThreadMgr* pool_;
  ThumbnailStore* store_;
  std::shared_ptr<Work> work_;  // the list being worked on; main loop only
  std::shared_ptr<std::atomic<int32_t>> active_;
};
