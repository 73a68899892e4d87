// Change notices for folders (inotify): which watched folders saw an entry added, removed,
// renamed, written or touched since the last look. A folder the system cannot watch (the
// watch limit reached, no permission, a file system that sends no notices) is refused, so
// the caller knows to list it again itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/mutex.h"

namespace platform {

class FolderWatch {
 public:
  // Watches at most `max_watches` folders at once, fewer when the system's own limit
  // (fs.inotify.max_user_watches) is lower.
  explicit FolderWatch(size_t max_watches);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Starts watching the folder at `path` (symbolic links followed) and returns its watch,
  // >= 0; the same folder reached again returns the same watch. -1 when it cannot be
  // watched. Any thread. REQUIRES: the caller does not hold a watch of this folder already
  // (it would count twice against the limit).
  int Add(const std::string& path) EXCLUDES(lock_);
  // Stops watching. Notices still queued for the watch are dropped by the next Read.
  void Remove(int watch) EXCLUDES(lock_);
  size_t WatchCount() const EXCLUDES(lock_);

  struct Notices {
    std::vector<int> changed;  // watches whose folder's entries changed
    std::vector<int> ended;    // watches the system ended: the folder is gone
    bool overflowed = false;   // notices were lost: any watched folder may have changed
  };
  // Everything noticed since the last call, without waiting.
  Notices Read() EXCLUDES(lock_);

 private:
  int fd_ = -1;
  const size_t max_watches_;
  mutable Mutex lock_;
  std::vector<int> watches_ GUARDED_BY(lock_);  // sorted
};

}  // namespace platform
