#include "server/catalogue/like_table.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/file_replace.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/for_each_index.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"

namespace {

// Behind the requests, as the scans are.
constexpr int kJobPriority = 50;
constexpr int64_t kRebuildIntervalMs = 999;
constexpr int64_t kCacheCheckIntervalMs = 30 * 60 * 1000;

// Whether `interval_ms` has passed since `last_ms`; a clock that went back counts as passed.
bool IntervalPassed(int64_t now_ms, int64_t last_ms, int64_t interval_ms) {
  return now_ms - last_ms > interval_ms || now_ms < last_ms;
}

}  // namespace

class LikeTable::Job : public CThreadCommand {
 public:
  Job(LikeTable* table, Work work) : table_(table), work_(work) {}
  int Run() override {
    table_->RunJob(work_);
    return 0;
  }

 private:
  LikeTable* table_;
  Work work_;
};

LikeTable::LikeTable(ImageCatalogue* catalogue, MySystem::CThreadMgr* pool, COmniFileAccess& files)
    : catalogue_(catalogue), pool_(pool), files_(files) {}

LikeTable::~LikeTable() {
  stopping_ = true;
  WaitForIdle();
}

void LikeTable::Load(const std::string& path) {
  path_ = path;
  platform::MutexLock hold(&lock_);
  // What the file holds is what the table holds: it is written again only after a like.
  switch (LoadHashList(path, &hash_list_)) {
    case HashListLoad::kRead:
    case HashListLoad::kMissing:
      // Only beside a hash list of ours: a save cut short by a crash left its temporary file.
      if (!path.empty()) platform::RemoveUnfinishedReplacements(path);
      break;
    case HashListLoad::kUnreadable:
      never_save_ = true;
      problem_ = SaveProblem::kUnreadableFile;
      std::fprintf(stderr, "Cannot read the hash list file %s; likes will not be saved.\n",
                   path.c_str());
      break;
    case HashListLoad::kNotAHashList:
      never_save_ = true;
      problem_ = SaveProblem::kNotAHashList;
      std::fprintf(stderr,
                   "The hash list file %s holds no like record, so it is some other file: it "
                   "is left as it is, and likes will not be saved.\n",
                   path.c_str());
      break;
  }
}

std::string LikeTable::GetHash(std::string_view path) {
  std::string hash;
  {
    platform::MutexLock hold(&lock_);
    auto found = cache_.find(path);
    if (found != cache_.end()) hash = found->second;
  }
  size_t computed = 0;
  if (hash.empty()) {
    std::string path_text(path);  // the file access layer takes strings
    hash = FileContentHash(files_, path_text);
    computed = hash.size();
    if (!hash.empty()) {
      platform::MutexLock hold(&lock_);
      cache_.emplace(std::move(path_text), hash);
    }
  }
  Report("<br>t_hash.length():" + std::to_string(computed) + "<br>");
  return hash;
}

int32_t LikeTable::Vote(const std::string& hash, uint32_t size) {
  int32_t count;
  {
    platform::MutexLock hold(&lock_);
    hash_list_.AddLike(hash);
    hash_list_.SetSize(hash, size);
    count = hash_list_.GetCount(hash);
  }
  MarkChanged();
  return count;
}

bool LikeTable::TryVoteCached(std::string_view path, uint32_t size, int32_t* count) {
  if (!lock_.TryLock()) return false;
  auto cached = cache_.find(path);
  const bool found = cached != cache_.end();
  if (found) {
    hash_list_.AddLike(cached->second);
    hash_list_.SetSize(cached->second, size);
    *count = hash_list_.GetCount(cached->second);
  }
  lock_.Unlock();
  if (!found) return false;
  MarkChanged();
  Report("<br>t_hash.length():0<br>");
  return true;
}

void LikeTable::MarkChanged() {
  unranked_.exchange(true);
  dirty_.exchange(true);
}

int32_t LikeTable::GetCount(const std::string& hash) const {
  platform::MutexLock hold(&lock_);
  return hash_list_.GetCount(hash);
}

size_t LikeTable::CachedPathCount() const {
  platform::MutexLock hold(&lock_);
  return cache_.size();
}

void LikeTable::Report(std::string_view text) {
  platform::MutexLock hold(&texts_lock_);
  reported_.append(text);
}

void LikeTable::Update(int64_t now_ms, bool list_changed) {
  rank_pending_ = rank_pending_ || list_changed;
  std::string reported;
  {
    platform::MutexLock hold(&texts_lock_);
    reported.swap(reported_);
  }
  catalogue_->AppendDiagnostics(reported);
  switch (problem_.load()) {
    case SaveProblem::kNone:
      break;
    case SaveProblem::kPathEmpty:
      catalogue_->AppendDiagnostics("hash_file_path is empty\n");
      break;
    case SaveProblem::kSaveFailed:
      catalogue_->AppendDiagnostics("SaveHash(temp) failed\n");
      break;
    case SaveProblem::kUnreadableFile:
      catalogue_->AppendDiagnostics("LoadHash failed: likes are not saved\n");
      break;
    case SaveProblem::kNotAHashList:
      catalogue_->AppendDiagnostics(
          "LoadHash: the file holds no like record, so it is left alone: likes are not saved\n");
      break;
  }
  // Until the first scan has ended there is no list to rank and no vote can have come; a
  // save then would only slow the scan down.
  if (catalogue_->ScanCount() == 0) return;
  {
    platform::MutexLock hold(&job_lock_);
    if (job_running_) return;
  }

  Work work;
  work.assign = AssignmentDue();
  rank_pending_ = rank_pending_ || work.assign;
  if (now_ms >= next_check_ms_ || work.assign) {
    // A cache just filled from the files themselves needs no check before the next one.
    next_check_ms_ = now_ms + kCacheCheckIntervalMs;
    work.check_cache = !work.assign;
  }
  if (rank_pending_ ||
      (unranked_ && IntervalPassed(now_ms, last_rebuild_ms_, kRebuildIntervalMs))) {
    last_rebuild_ms_ = now_ms;
    work.rank = true;
    catalogue_->AppendDiagnostics(rank_pending_ ? "need_update_hash_list_only:1"
                                                : "need_update_hash_list_only:0");
    rank_pending_ = false;
  }
  // A save rewrites the whole file, so a stream of likes is saved once an interval, not once
  // a ranking.
  if (dirty_ && IntervalPassed(now_ms, last_save_ms_, kSaveIntervalMs)) {
    last_save_ms_ = now_ms;
    work.save = true;
  }
  if (!work.assign && !work.check_cache && !work.rank && !work.save) return;
  {
    platform::MutexLock hold(&job_lock_);
    job_running_ = true;
  }
  pool_->Post(std::make_unique<Job>(this, work), kJobPriority);
}

// Due once the scans have settled, when the cache was emptied by a check, or when it is empty
// and a new scan has finished since the last assignment (the liked files may have come back).
bool LikeTable::AssignmentDue() {
  if (!catalogue_->IsSettled()) return false;
  const uint32_t scan = catalogue_->ScanCount();
  platform::MutexLock hold(&lock_);
  if (hash_list_.empty()) return false;
  const bool cleared = cache_clears_ != assigned_clears_;
  if (!cleared && !(cache_.empty() && scan != assigned_scan_)) return false;
  assigned_scan_ = scan;
  assigned_clears_ = cache_clears_;
  return true;
}

void LikeTable::RunJob(const Work& work) {
  if (work.assign) AssignByContent();
  if (work.check_cache) CheckCache();
  if (work.rank && !stopping_) {
    unranked_ = false;
    // After an assignment every cached path was read moments ago.
    Rank(/*check_existence=*/!work.assign);
  }
  if (work.save && !stopping_ && dirty_) Save();
  platform::MutexLock hold(&job_lock_);
  job_running_ = false;
  job_done_.NotifyAll();
}

// Only files whose size is that of a liked file are hashed: images nobody liked never are.
void LikeTable::AssignByContent() {
  std::unordered_map<std::string, uint32_t> size_of_hash;
  std::unordered_set<uint32_t> sizes;
  {
    platform::MutexLock hold(&lock_);
    size_of_hash.reserve(hash_list_.size());
    for (const auto& [hash, record] : hash_list_.records()) {
      size_of_hash.emplace(hash, record.file_size);
      sizes.insert(record.file_size);
    }
  }
  // Due only once the scans have settled, when the current list is what the last scan found:
  // it is shared, not copied, since a copy of a million entries would double the memory.
  const std::shared_ptr<const std::vector<ImageEntry>> list = catalogue_->CurrentList();
  const std::vector<ImageEntry>& files = *list;
  std::vector<std::string> hashes(files.size());
  ForEachIndex(pool_, kJobPriority, files.size(), [&](size_t i) {
    if (!stopping_ && sizes.contains(files[i].size))
      hashes[i] = FileContentHash(files_, std::string(files[i].path));
  });
  platform::MutexLock hold(&lock_);
  for (size_t i = 0; i < files.size(); ++i) {
    auto liked = size_of_hash.find(hashes[i]);
    if (liked != size_of_hash.end() && liked->second == files[i].size) {
      cache_.emplace(std::string(files[i].path), std::move(hashes[i]));
    }
  }
}

// A cached path that has gone (a liked file moved or renamed) empties the cache, so that the
// next assignment finds the file under its new path.
void LikeTable::CheckCache() {
  std::vector<std::string> paths;
  {
    platform::MutexLock hold(&lock_);
    paths.reserve(cache_.size());
    for (const auto& entry : cache_) paths.push_back(entry.first);
  }
  for (const std::string& path : paths) {
    if (stopping_) return;
    if (files_.Exists(path)) continue;
    Report("need_clear_cache:1");
    platform::MutexLock hold(&lock_);
    cache_.clear();
    ++cache_clears_;
    return;
  }
}

void LikeTable::Rank(bool check_existence) {
  const std::shared_ptr<const std::vector<ImageEntry>> list = catalogue_->CurrentList();
  // (list index, likes) of every liked content, shown by the first path of the list (in date
  // order) that has it.
  std::vector<std::pair<uint32_t, int32_t>> liked;
  {
    platform::MutexLock hold(&lock_);
    // The helpers only read the table, which this thread holds for them.
    const PathHashCache* cache = &cache_;
    const HashList* hash_list = &hash_list_;
    // An empty cache likes nothing: its paths are not looked up one by one.
    std::vector<const LikeRecord*> record_of(cache->empty() ? 0 : list->size());
    ForEachIndex(pool_, kJobPriority, record_of.size(), [&](size_t i) {
      auto cached = cache->find((*list)[i].path.view());
      if (cached == cache->end()) return;
      auto record = hash_list->records().find(cached->second);
      if (record != hash_list->records().end()) record_of[i] = &record->second;
    });
    std::unordered_set<const LikeRecord*> shown;
    for (uint32_t i = 0; i < record_of.size(); ++i) {
      if (record_of[i] != nullptr && shown.insert(record_of[i]).second) {
        liked.emplace_back(i, record_of[i]->viewd);
      }
    }
  }
  // Most liked first; equal counts in date order, so the order does not change from one
  // rebuild to the next.
  std::sort(liked.begin(), liked.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });

  // A file deleted since the last scan leaves the order now.
  std::vector<char> exists(liked.size(), 1);
  if (check_existence) {
    ForEachIndex(pool_, kJobPriority, liked.size(), [&](size_t i) {
      exists[i] = files_.Exists(std::string((*list)[liked[i].first].path));
    });
  }
  std::vector<ImageEntry> likes;
  likes.reserve(liked.size());
  for (size_t i = 0; i < liked.size(); ++i) {
    if (exists[i]) likes.push_back((*list)[liked[i].first]);
  }
  // An unchanged order is not published again, so searches made on it stay valid.
  const std::shared_ptr<const OrderSet> current = catalogue_->orders().Current();
  bool same = current->Size(ListOrder::Likes) == likes.size();
  for (size_t i = 0; same && i < likes.size(); ++i) {
    same = current->At(ListOrder::Likes, i) == likes[i];
  }
  if (!same) catalogue_->orders().SetLikes(likes);
}

bool LikeTable::Save() {
  if (path_.empty() || never_save_) {
    if (path_.empty()) problem_ = SaveProblem::kPathEmpty;
    dirty_ = false;
    return true;
  }
  // Cleared before the copy: a like counted after it marks the table again.
  dirty_ = false;
  HashList copy;
  {
    platform::MutexLock hold(&lock_);
    copy = hash_list_;
  }
  if (SaveHashList(path_, copy)) {
    problem_ = SaveProblem::kNone;
    return true;
  }
  // Kept for the next chance, an interval later.
  dirty_ = true;
  problem_ = SaveProblem::kSaveFailed;
  return false;
}

bool LikeTable::SaveAtStop() {
  stopping_ = true;
  WaitForIdle();
  return !dirty_ || Save();
}

bool LikeTable::Working() const {
  platform::MutexLock hold(&job_lock_);
  return job_running_;
}

void LikeTable::WaitForIdle() const {
  platform::MutexLock hold(&job_lock_);
  while (job_running_) job_done_.Wait(&job_lock_);
}
