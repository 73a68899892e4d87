// Makes the thumbnails of the catalogue ahead of the requests for them: after a scan has
// produced a list, its pictures are reduced, the first pages of every order first, then the
// rest in the name order. The work runs on threads of its own (half the processors) that the
// system schedules only when nothing else wants the processor, never more of them at once
// than the request pool has idle workers; each reduces one picture a turn, and nothing a request needs ever waits
// for it (a request for a thumbnail being made ahead makes its own). A new list stops the
// work on the old one; a store that cannot keep thumbnails on disk, or whose folder is full,
// stops it altogether, so that it never pushes out thumbnails the requests made.
#pragma once

#include <atomic>
#include <memory>

#include "server/catalogue/ordered_lists.h"
#include "server/pictures/thumbnail_store.h"
#include "server/threads/thread_mgr.h"

class ThumbnailPrefetch {
 public:
  // Pages of each order made before the rest.
  static constexpr uint32_t kFirstPages = 3;
  // Pictures larger than this (a ZIP member's uncompressed size) are left to the requests
  // for them: reading one ahead would take a large share of the read budget for a thumbnail
  // nobody may ask for.
  static constexpr uint64_t kLargestPictureAhead = uint64_t{64} << 20;

  // `lists`, `pool` and `store` must outlive the prefetch. `pool` serves the requests: work
  // ahead runs only while it has idle workers.
  ThumbnailPrefetch(const OrderedLists& lists, MySystem::CThreadMgr* pool, ThumbnailStore* store);
  // Stops and waits for the jobs that run.
  ~ThumbnailPrefetch();

  // Ends the work on the current list: its jobs end at their next turn without reducing.
  // The next Update takes up a new list.
  void Stop();

  // Called on every turn of the server loop: starts over on a new list, and keeps a job per
  // idle worker of the pool while there are pictures left.
  void Update();

  // Pictures of the current list looked at so far (made or found made), and how many there
  // are to look at (the first pages of each order, then every picture).
  uint32_t Done() const;
  uint32_t Total() const;
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
  std::atomic<uint32_t> done_{0};
  std::atomic<uint32_t> total_{0};
  std::shared_ptr<std::atomic<int32_t>> active_;
  // Last, so that it goes first: its jobs use the rest.
  MySystem::CThreadMgr idle_pool_;
};
