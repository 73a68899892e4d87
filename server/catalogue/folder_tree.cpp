#include "server/catalogue/folder_tree.h"

#include <deque>
#include <utility>

#include "server/catalogue/for_each_index.h"

namespace {

// The paths of a folder's pictures, in the order of its listing: the folder joined with each
// name, in one buffer reused from name to name.
std::vector<SharedPath> PicturePaths(const FolderContent& content) {
  std::vector<SharedPath> paths;
  paths.reserve(content.pictures.size());
  std::string joined = JoinPath(content.path, "");
  const size_t folder_size = joined.size();
  for (size_t i = 0; i < content.pictures.size(); ++i) {
    joined.resize(folder_size);
    joined += content.PictureName(i);
    paths.emplace_back(joined);
  }
  return paths;
}

}  // namespace

FolderTree::FolderTree(size_t max_watches) : watch_(max_watches) {}

FolderTree::Pass FolderTree::Refresh(const std::vector<std::string>& roots,
                                     const ListingOptions& options, bool full,
                                     MySystem::CThreadMgr* pool, int32_t priority) {
  const platform::FolderWatch::Notices notices = watch_.Read();
  // Lost notices, or listings made with other options, leave nothing to go by.
  full = full || !listed_once_ || notices.overflowed || options != options_;
  options_ = options;
  listed_once_ = true;
  std::vector<std::string> seeds;
  {
    platform::MutexLock hold(&lock_);
    listed_ = 0;
    changed_ = false;
    unopened_.clear();
    for (int ended : notices.ended) {
      // The folder is gone; its inode may come back as another folder.
      auto found = by_watch_.find(ended);
      if (found == by_watch_.end()) continue;
      const platform::FolderId id = found->second;
      by_watch_.erase(found);
      Forget(id);
      changed_ = true;
    }
    for (int watch : notices.changed) {
      if (auto found = by_watch_.find(watch); found != by_watch_.end()) dirty_.insert(found->second);
    }
    if (full) {
      seeds = roots;
    } else {
      for (const auto* set : {&dirty_, &unwatched_}) {
        for (const platform::FolderId& id : *set) {
          if (auto listing = listings_.find(id); listing != listings_.end()) {
            seeds.push_back(listing->second.content.path);
          }
        }
      }
    }
  }
  ListRound(std::move(seeds), full, pool, priority);
  // Folders that moved, came into the tree or lost to another path the place they were
  // listed under are listed now under the path the walk reaches them by. Each round lists
  // only what the one before made reachable, so a few rounds settle any tree.
  constexpr int kMaxRounds = 16;
  bool settled = false;
  for (int round = 0; round < kMaxRounds && !settled; ++round) {
    std::vector<std::string> missing = Walk(roots);
    settled = missing.empty();
    if (!settled) ListRound(std::move(missing), false, pool, priority);
  }
  if (!settled) {
    // Changing under the rounds' feet: what the last round found is taken, the rest waits
    // for the next refresh.
    Walk(roots);
    platform::MutexLock hold(&lock_);
    changed_ = true;
  }

  Pass pass;
  pass.full = full;
  platform::MutexLock hold(&lock_);
  // Folders no longer reached are let go, and their watches with them.
  std::unordered_set<platform::FolderId, FolderIdHash> reached;
  for (const Listing* listing : reached_) reached.insert(listing->content.id);
  for (auto it = listings_.begin(); it != listings_.end();) {
    if (reached.count(it->first)) {
      ++it;
      continue;
    }
    if (it->second.watch >= 0) {
      watch_.Remove(it->second.watch);
      by_watch_.erase(it->second.watch);
    }
    dirty_.erase(it->first);
    unwatched_.erase(it->first);
    it = listings_.erase(it);
    changed_ = true;
  }
  folder_count_ = static_cast<uint32_t>(listings_.size());
  pass.listed = listed_;
  pass.changed = changed_;
  return pass;
}

void FolderTree::Forget(const platform::FolderId& id) {
  dirty_.erase(id);
  unwatched_.erase(id);
  listings_.erase(id);
}

void FolderTree::ListRound(std::vector<std::string> seeds, bool everything,
                           MySystem::CThreadMgr* pool, int32_t priority) {
  {
    platform::MutexLock hold(&lock_);
    claimed_.clear();
  }
  // Level by level: the folders of one level are listed side by side.
  std::vector<std::string> level = std::move(seeds);
  while (!level.empty()) {
    std::vector<std::vector<std::string>> found(level.size());
    const auto list = [&](size_t i) { ListOne(level[i], everything, &found[i]); };
    if (pool != nullptr) {
      ForEachIndex(pool, priority, level.size(), list);
    } else {
      for (size_t i = 0; i < level.size(); ++i) list(i);
    }
    std::vector<std::string> next;
    for (std::vector<std::string>& paths : found) {
      for (std::string& path : paths) next.push_back(std::move(path));
    }
    level = std::move(next);
  }
}

void FolderTree::ListOne(const std::string& path, bool everything, std::vector<std::string>* next) {
  platform::FolderReader reader;
  if (!reader.Open(path)) {
    platform::FolderId id;
    const bool exists = platform::FolderIdOf(path, &id);
    platform::MutexLock hold(&lock_);
    unopened_.insert(path);  // gone or unreadable: skipped by the walk
    // A folder that can no longer be read is no longer listed.
    if (exists && claimed_.insert(id).second) {
      if (auto found = listings_.find(id); found != listings_.end()) {
        if (found->second.watch >= 0) {
          watch_.Remove(found->second.watch);
          by_watch_.erase(found->second.watch);
        }
        Forget(id);
        changed_ = true;
      }
    }
    return;
  }
  const platform::FolderId id = reader.id();
  const Listing* before = nullptr;
  int watch = -1;
  {
    platform::MutexLock hold(&lock_);
    if (!claimed_.insert(id).second) return;
    if (auto found = listings_.find(id); found != listings_.end()) {
      before = &found->second;
      watch = found->second.watch;
    }
  }
  // Watched before it is read, so that no change made meanwhile goes unnoticed.
  if (watch < 0) watch = watch_.Add(path);
  FolderContent content;
  ReadFolder(&reader, path, options_, before ? &before->content : nullptr, &content);
  // An unchanged folder keeps the paths the lists formed before share.
  const bool unchanged = before && before->content == content;
  std::vector<SharedPath> paths;
  if (!unchanged) paths = PicturePaths(content);

  platform::MutexLock hold(&lock_);
  ++listed_;
  if (!unchanged) changed_ = true;
  Listing& listing = listings_[id];
  listing.content = std::move(content);
  if (!unchanged) listing.paths = std::move(paths);
  listing.watch = watch;
  dirty_.erase(id);
  if (watch >= 0) {
    by_watch_[watch] = id;
    unwatched_.erase(id);
  } else {
    unwatched_.insert(id);
  }
  // A subfolder listed before under another path (moved, or reached through a link too)
  // is left to the walk, which knows the path it is reached by first.
  for (const ListedSubfolder& sub : listing.content.subfolders) {
    if (claimed_.count(sub.id)) continue;
    if (everything || !listings_.count(sub.id) || dirty_.count(sub.id) ||
        unwatched_.count(sub.id)) {
      next->push_back(JoinPath(path, sub.name));
    }
  }
}

std::vector<std::string> FolderTree::Walk(const std::vector<std::string>& roots) {
  std::vector<std::string> missing;
  reached_.clear();
  reached_parents_.clear();
  std::unordered_set<platform::FolderId, FolderIdHash> seen;
  struct Queued {
    std::string path;
    platform::FolderId id;
    int32_t parent;  // index in reached_, -1 for a root
  };
  std::deque<Queued> queue;
  for (const std::string& root : roots) {
    platform::FolderId id;
    if (platform::FolderIdOf(root, &id)) queue.push_back({root, id, -1});
  }
  platform::MutexLock hold(&lock_);
  while (!queue.empty()) {
    auto [path, id, parent] = std::move(queue.front());
    queue.pop_front();
    if (!seen.insert(id).second) continue;
    auto found = listings_.find(id);
    if (found == listings_.end() || found->second.content.path != path) {
      if (!unopened_.count(path)) missing.push_back(std::move(path));
      continue;
    }
    const Listing& listing = found->second;
    const int32_t index = static_cast<int32_t>(reached_.size());
    reached_.push_back(&listing);
    reached_parents_.push_back(parent);
    for (const ListedSubfolder& sub : listing.content.subfolders) {
      std::string child = JoinPath(path, sub.name);
      platform::FolderId child_id = sub.id;
      // Where a link leads is looked up afresh: its target may have moved or been replaced.
      if (sub.is_link && !platform::FolderIdOf(child, &child_id)) continue;
      queue.push_back({std::move(child), child_id, index});
    }
  }
  return missing;
}

void FolderTree::Form(std::vector<ImageEntry>* pictures, ArchiveCache* archives) const {
  // Folder by folder depth first, each folder's subfolders in the order they were reached
  // (by name): for byte-wise name order that is the name order already, which the sort then
  // finds in one pass.
  std::vector<std::vector<uint32_t>> children(reached_.size());
  std::vector<uint32_t> stack;
  for (size_t i = reached_.size(); i-- > 0;) {
    if (reached_parents_[i] < 0) {
      stack.push_back(static_cast<uint32_t>(i));
    } else {
      children[reached_parents_[i]].push_back(static_cast<uint32_t>(i));  // last first
    }
  }
  size_t count = 0;
  for (const Listing* listing : reached_) {
    count += listing->content.pictures.size();
    for (const ListedArchive& archive : listing->content.archives) {
      count += archive.entry->members.size();
    }
  }
  pictures->clear();
  pictures->reserve(count);
  while (!stack.empty()) {
    const uint32_t folder = stack.back();
    stack.pop_back();
    stack.insert(stack.end(), children[folder].begin(), children[folder].end());
    const Listing& listing = *reached_[folder];
    const FolderContent& content = listing.content;
    for (size_t i = 0; i < content.pictures.size(); ++i) {
      const ListedFile& file = content.pictures[i];
      ImageEntry entry;
      entry.path = listing.paths[i];
      entry.lastWriteTime = file.lastWriteTime;
      entry.size = file.size;
      pictures->push_back(std::move(entry));
    }
    for (const ListedArchive& archive : content.archives) {
      if (archive.entry->members.empty()) continue;
      for (const ArchiveMember& member : archive.entry->members) {
        if (!IsImagePath(member.path)) continue;
        ImageEntry entry;
        entry.path = member.path;
        entry.lastWriteTime = member.found.lastWriteTime;
        entry.size = member.found.size;
        pictures->push_back(std::move(entry));
      }
      archives->emplace(JoinPath(content.path, archive.name), archive.entry);
    }
  }
}
