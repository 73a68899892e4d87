// Makes the thumbnails of the catalogue ahead of the requests for them: after a scan has
// produced a list, its pictures are reduced, the first pages of every order first, then the
// rest in the name order. The work runs on threads of its own (half the processors) that the
// system schedules only when nothing else wants the processor, and only once the server has
// answered no request for a while. Idle priority alone does not keep it out of the requests'
// way: the system shares the processors between sessions and services before it shares them
// among their threads, so a server whose idle thread keeps its share busy gets its request
// threads back only after the others have caught up. Hence a JPEG is decoded in short bursts
// with rests between, and one being decoded when a request comes waits between two rows
// until the server is quiet again. Each job reduces one picture, and nothing a request needs
// ever waits for the work ahead (a request for a thumbnail being made ahead makes its own). A
// new list stops the work on the old one; a store that cannot keep thumbnails on disk, or
// whose folder is full, stops it altogether, so that it never pushes out thumbnails the
// requests made.
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
  // How long the server must have answered no request before a picture is started ahead:
  // longer than the pause between a page and the requests it brings (its thumbnails, its
  // scripts), short beside the time a visitor spends on a page.
  static constexpr int64_t kQuietMs = 500;

  // `lists`, `pool` and `store` must outlive the prefetch. `pool` serves the requests: work
  // ahead runs only while it has idle workers.
  ThumbnailPrefetch(const OrderedLists& lists, MySystem::CThreadMgr* pool, ThumbnailStore* store);
  // Stops and waits for the jobs that run.
  ~ThumbnailPrefetch();

  // Ends the work on the current list: its jobs end at their next turn without reducing, and
  // a decode held up by requests goes on to its end. The next Update takes up a new list.
  void Stop();

  // Called on every turn of the server loop, `serving` telling whether requests are being
  // received or answered: starts over on a new list and, once no request has been for
  // kQuietMs, keeps a job per background thread (never more than the request pool has idle
  // workers) while there are pictures left.
  void Update(bool serving = false);

  // Pictures of the current list looked at so far (made or found made), and how many there
  // are (each counted once, though those of the first pages come first).
  uint32_t Done() const;
  uint32_t Total() const;
  // Whether the current list has pictures left to make ahead, or jobs making them: the loop
  // must then come back soon to keep its threads busy. Main loop only.
  bool Working() const;
  // Background jobs queued or running now.
  // Tests only.
  int32_t ActiveJobs() const;

 private:
  struct Work;
  struct Gate;
  class Job;

  // Whether the current list has turns not yet taken and may go on. Main loop only.
  bool TurnsLeft() const;

  const OrderedLists& lists_;
  MySystem::CThreadMgr* pool_;
  ThumbnailStore* store_;
  std::shared_ptr<Work> work_;  // the list being worked on; main loop only
  int64_t last_served_ms_;      // when requests were last seen; main loop only
  std::shared_ptr<Gate> gate_;  // holds up the decodes under way while requests come
  bool gate_open_ = true;       // as last set; main loop only
  std::atomic<uint32_t> done_{0};
  std::atomic<uint32_t> total_{0};
  std::shared_ptr<std::atomic<int32_t>> active_;
  // Last, so that it goes first: its jobs use the rest.
  MySystem::CThreadMgr idle_pool_;
};
