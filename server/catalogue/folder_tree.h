// The folders of the catalogue as last listed, kept up to date by change notices: a refresh
// lists again only the folders that changed since the last one (and those that cannot be
// watched), and forms the picture list from the listings of all folders. A full refresh
// lists every folder again, as the safety net for changes no notice told of.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/folder_listing.h"
#include "platform/folder_watch.h"
#include "platform/mutex.h"
#include "server/catalogue/archive_cache.h"
#include "server/catalogue/folder_content.h"
#include "server/catalogue/image_entry.h"
#include "server/catalogue/shared_path.h"
#include "server/threads/thread_mgr.h"

struct FolderIdHash {
  size_t operator()(const platform::FolderId& id) const {
    return std::hash<uint64_t>()(id.inode * 1000003u ^ id.device);
  }
};

class FolderTree {
 public:
  // Watches at most `max_watches` folders; the others are listed again on every refresh.
  explicit FolderTree(size_t max_watches);
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  struct Pass {
    uint32_t listed = 0;   // folders listed in this refresh
    bool full = false;     // every folder was listed
    bool changed = false;  // some listing differs, or the set of folders does
  };
  // Brings the listings up to date with `roots` (in order, then their subfolders breadth-
  // first when recursive). Lists on `pool` (null: this thread only) at `priority` beside
  // this thread. A folder reached a second time, through links, is not listed again; an
  // unreadable one is skipped. Not to be called on two threads at once.
  Pass Refresh(const std::vector<std::string>& roots, const ListingOptions& options, bool full,
               MySystem::CThreadMgr* pool, int32_t priority);

  // The pictures of the folders reached by the last refresh, folder by folder (a folder's
  // subfolders after it, in the order of their names), each folder's files (by name) before
  // its archives' members; and the archives read. The entries share their paths with the
  // listings (and so with every list formed before from the same listings): a folder listed
  // unchanged keeps its pictures' paths. REQUIRES: no refresh runs.
  void Form(std::vector<ImageEntry>* pictures, ArchiveCache* archives) const;

  // Any thread.
  uint32_t FolderCount() const { return folder_count_.load(); }
  uint32_t WatchCount() const { return static_cast<uint32_t>(watch_.WatchCount()); }

 private:
  struct Listing {
    FolderContent content;
    std::vector<SharedPath> paths;  // of content.pictures, one each, made when it changed
    int watch = -1;  // -1: not watched, listed again on every refresh
  };
  // One breadth-first listing of `seeds` and of their subfolders that have no listing under
  // the path they are reached by (all of them when `everything`).
  void ListRound(std::vector<std::string> seeds, bool everything, MySystem::CThreadMgr* pool,
                 int32_t priority);
  // Lists one folder; appends the subfolders to list next to `next`.
  void ListOne(const std::string& path, bool everything, std::vector<std::string>* next);
  // Walks the listings from the roots; the paths reached that lack a listing under that path.
  std::vector<std::string> Walk(const std::vector<std::string>& roots);
  void Forget(const platform::FolderId& id) REQUIRES(lock_);

  platform::FolderWatch watch_;
  ListingOptions options_;  // of the listings held
  bool listed_once_ = false;

  // Written by the listing workers of a round, under the lock; by Refresh alone otherwise.
  // Elements are never erased while a round runs, so pointers to them stay valid.
  platform::Mutex lock_;
  std::unordered_map<platform::FolderId, Listing, FolderIdHash> listings_ GUARDED_BY(lock_);
  std::unordered_map<int, platform::FolderId> by_watch_ GUARDED_BY(lock_);
  std::unordered_set<platform::FolderId, FolderIdHash> dirty_ GUARDED_BY(lock_);
  std::unordered_set<platform::FolderId, FolderIdHash> unwatched_ GUARDED_BY(lock_);
  std::unordered_set<platform::FolderId, FolderIdHash> claimed_ GUARDED_BY(lock_);  // this round
  std::unordered_set<std::string> unopened_ GUARDED_BY(lock_);  // this refresh
  uint32_t listed_ GUARDED_BY(lock_) = 0;
  bool changed_ GUARDED_BY(lock_) = false;

  // The folders the last walk reached, in order, with the paths they were reached by.
  std::vector<const Listing*> reached_;
  std::vector<int32_t> reached_parents_;  // the folder each was reached from, -1 for a root
  std::vector<platform::FolderId> root_ids_;
  std::atomic<uint32_t> folder_count_{0};
};
