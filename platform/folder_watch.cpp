#include "platform/folder_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// Entries of the folder added, removed, renamed, written or touched, and the folder itself
// deleted or moved.
constexpr uint32_t kNoticed = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                              IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// File systems whose changes made elsewhere (on another machine, or by a user-space file
// system) send no notices: a watch there would keep an old listing forever.
bool SendsNoNotices(const std::string& path) {
  struct statfs fs;
  if (statfs(path.c_str(), &fs) != 0) return true;
  switch (static_cast<uint32_t>(fs.f_type)) {
    case 0x6969:      // NFS
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x517B:      // SMB
    case 0x65735546:  // FUSE
    case 0x01021997:  // 9P
    case 0x5346414F:  // AFS
    case 0x73757245:  // CODA
    case 0x564C:      // NCP
    case 0x47504653:  // GPFS
    case 0x00C36400:  // CEPH
      return true;
    default:
      return false;
  }
}

}  // namespace

FolderWatch::FolderWatch(size_t max_watches)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), max_watches_(max_watches) {}

FolderWatch::~FolderWatch() {
  if (fd_ >= 0) close(fd_);
}

int FolderWatch::Add(const std::string& path) {
  if (fd_ < 0 || SendsNoNotices(path)) return -1;
  MutexLock hold(&lock_);
  if (watches_.size() >= max_watches_) return -1;
  const int watch = inotify_add_watch(fd_, path.c_str(), kNoticed | IN_ONLYDIR);
  if (watch < 0) return -1;
  const auto at = std::lower_bound(watches_.begin(), watches_.end(), watch);
  if (at == watches_.end() || *at != watch) watches_.insert(at, watch);
  return watch;
}

void FolderWatch::Remove(int watch) {
  MutexLock hold(&lock_);
  const auto at = std::lower_bound(watches_.begin(), watches_.end(), watch);
  if (at == watches_.end() || *at != watch) return;
  watches_.erase(at);
  inotify_rm_watch(fd_, watch);
}

size_t FolderWatch::WatchCount() const {
  MutexLock hold(&lock_);
  return watches_.size();
}

FolderWatch::Notices FolderWatch::Read() {
  Notices notices;
  if (fd_ < 0) return notices;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        notices.overflowed = true;
      } else if (event->mask & IN_IGNORED) {
        notices.ended.push_back(event->wd);
      } else {
        notices.changed.push_back(event->wd);
      }
    }
  }
  MutexLock hold(&lock_);
  // Watches removed here end too; only those the system ended itself are news.
  std::vector<int> ended;
  for (int watch : notices.ended) {
    const auto at = std::lower_bound(watches_.begin(), watches_.end(), watch);
    if (at == watches_.end() || *at != watch) continue;
    watches_.erase(at);
    ended.push_back(watch);
  }
  notices.ended = std::move(ended);
  std::vector<int> changed;
  for (int watch : notices.changed) {
    if (std::binary_search(watches_.begin(), watches_.end(), watch)) changed.push_back(watch);
  }
  notices.changed = std::move(changed);
  std::sort(notices.changed.begin(), notices.changed.end());
  notices.changed.erase(std::unique(notices.changed.begin(), notices.changed.end()),
                        notices.changed.end());
  return notices;
}

}  // namespace platform
