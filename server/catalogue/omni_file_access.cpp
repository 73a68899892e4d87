#include "server/catalogue/omni_file_access.h"

#include <algorithm>
#include <utility>

#include "server/catalogue/direct_file_access.h"
#include "server/catalogue/zip_file_access.h"

COmniFileAccess::COmniFileAccess(ReadBudget& budget) {
  backends_.push_back(std::make_unique<CDirectFileAccess>(budget));
  backends_.push_back(std::make_unique<CZIPFileAccess>(budget));
}

COmniFileAccess::~COmniFileAccess() = default;

bool COmniFileAccess::Accepts(const std::string&) {
  return true;
}

// Every path is of exactly one kind, so the first back-end that accepts it is the only one.
CBasseFileAccess& COmniFileAccess::BackendFor(const std::string& path) {
  for (const auto& backend : backends_) {
    if (backend->Accepts(path)) return *backend;
  }
  return *backends_.front();
}

bool COmniFileAccess::ReadAll(uint32_t use_cache, const std::string& path,
                              std::vector<uint8_t>* out) {
  if (use_cache == 0) return BackendFor(path).ReadAll(0, path, out);
  std::shared_ptr<const std::vector<uint8_t>> shared;
  if (!ReadShared(path, &shared)) return false;
  *out = *shared;
  return true;
}

bool COmniFileAccess::ReadShared(const std::string& path,
                                 std::shared_ptr<const std::vector<uint8_t>>* out) {
  CBasseFileAccess& backend = BackendFor(path);
  // The version is taken before the bytes are read: a file changed during the read is then
  // stored under its old version and read again on the next request.
  FileVersion version;
  bool versioned = backend.GetVersion(path, &version);
  if (versioned && ReadFromCache(path, version, out)) return true;
  std::promise<SharedBytes> promise;
  bool leads = false;
  if (versioned) {
    std::shared_future<SharedBytes> running;
    {
      platform::MutexLock hold(&in_flight_lock_);
      if (FindHeld(path, version, out)) return true;
      auto it = in_flight_.find(path);
      if (it != in_flight_.end() && it->second.version == version) {
        ++it->second.readers;
        running = it->second.result;
      } else if (it == in_flight_.end()) {
        // A read of an older or newer version under way is left to its own callers.
        in_flight_.emplace(path, ReadInFlight{version, promise.get_future().share()});
        leads = true;
      }
    }
    if (running.valid()) {
      *out = running.get();
      return *out != nullptr;
    }
  }
  SharedBytes shared;
  std::vector<uint8_t> bytes;
  if (backend.ReadAll(0, path, &bytes)) {
    shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    if (versioned) Store(path, version, shared);
  }
  if (leads) {
    // Stored first: a caller arriving after the read has left the table finds it cached.
    {
      platform::MutexLock hold(&in_flight_lock_);
      in_flight_.erase(path);
      if (shared != nullptr) RememberHeld(path, version, shared);
    }
    promise.set_value(shared);
  }
  if (shared == nullptr) return false;
  *out = std::move(shared);
  return true;
}

bool COmniFileAccess::ReadPieces(const std::string& path, const FilePieceSink& sink) {
  return BackendFor(path).ReadPieces(path, sink);
}

bool COmniFileAccess::FindHeld(const std::string& path, const FileVersion& version,
                               SharedBytes* out) {
  auto it = held_.find(path);
  if (it == held_.end() || !(it->second.version == version)) return false;
  SharedBytes bytes = it->second.bytes.lock();
  if (bytes == nullptr) return false;
  *out = std::move(bytes);
  return true;
}

void COmniFileAccess::RememberHeld(const std::string& path, const FileVersion& version,
                                   const SharedBytes& bytes) {
  held_[path] = HeldRead{version, bytes};
  if (held_.size() < held_sweep_at_) return;
  // Only reads whose bytes are still held stay; those are few, as they occupy memory.
  std::erase_if(held_, [](const auto& entry) { return entry.second.bytes.expired(); });
  held_sweep_at_ = std::max<size_t>(64, 2 * held_.size());
}

bool COmniFileAccess::ReadFromCache(const std::string& path, const FileVersion& version,
                                    std::shared_ptr<const std::vector<uint8_t>>* out) {
  {
    ReaderLock lock(&cache_lock_);
    auto it = cache_.find(path);
    if (it == cache_.end() || !(it->second.version == version)) return false;
    *out = it->second.bytes;
  }
  uint32_t stamp = use_counter_.fetch_add(1) + 1;
  WriterLock lock(&cache_lock_);
  auto it = cache_.find(path);
  if (it != cache_.end()) it->second.use_stamp = stamp;
  return true;
}

void COmniFileAccess::Store(const std::string& path, const FileVersion& version,
                            std::shared_ptr<const std::vector<uint8_t>> bytes) {
  FileCacheEntry entry{version, std::move(bytes), use_counter_.fetch_add(1) + 1};
  {
    WriterLock lock(&cache_lock_);
    FileCacheEntry& slot = cache_[path];
    cached_bytes_ += entry.bytes->size();
    cached_bytes_ -= slot.bytes ? slot.bytes->size() : 0;
    slot = std::move(entry);
  }
  Trim();
}

void COmniFileAccess::Trim() {
  const size_t limit = cache_limit_.load();
  const uint64_t byte_limit = cache_byte_limit_.load();
  auto over = [&]() REQUIRES_SHARED(cache_lock_) {
    return cache_.size() > 2 * limit || cached_bytes_ > byte_limit;
  };
  {
    ReaderLock lock(&cache_lock_);
    if (!over()) return;
  }
  WriterLock lock(&cache_lock_);
  if (!over()) return;
  const size_t keep = cache_.size() > 2 * limit ? limit : cache_.size();
  std::vector<std::pair<uint32_t, const std::string*>> stamps;
  stamps.reserve(cache_.size());
  for (const auto& [path, entry] : cache_) stamps.push_back({entry.use_stamp, &path});
  // The most recently used `keep` first; only a byte limit needs them in order.
  auto newer = [](const auto& a, const auto& b) { return a.first > b.first; };
  if (keep < stamps.size())
    std::nth_element(stamps.begin(), stamps.begin() + keep, stamps.end(), newer);
  if (cached_bytes_ > byte_limit) std::sort(stamps.begin(), stamps.begin() + keep, newer);
  FileCache kept;
  kept.reserve(keep);
  uint64_t kept_bytes = 0;
  for (size_t i = 0; i < keep; ++i) {
    const uint64_t size = cache_.at(*stamps[i].second).bytes->size();
    if (size > byte_limit) continue;  // a file over the whole limit is never kept
    if (kept_bytes + size > byte_limit) break;
    kept_bytes += size;
    auto node = cache_.extract(*stamps[i].second);
    kept.insert(std::move(node));
  }
  cache_.swap(kept);
  cached_bytes_ = kept_bytes;
}

bool COmniFileAccess::Exists(const std::string& path) {
  return BackendFor(path).Exists(path);
}

bool COmniFileAccess::GetTime(const std::string& path, SystemTime* out) {
  return BackendFor(path).GetTime(path, out);
}

bool COmniFileAccess::GetVersion(const std::string& path, FileVersion* out) {
  return BackendFor(path).GetVersion(path, out);
}

uint64_t COmniFileAccess::GetSize(const std::string& path) {
  return BackendFor(path).GetSize(path);
}

void COmniFileAccess::SetCacheLimit(uint32_t limit) {
  cache_limit_.store(limit);
}

void COmniFileAccess::SetCacheByteLimit(uint64_t bytes) {
  cache_byte_limit_.store(bytes);
}

size_t COmniFileAccess::CachedCount() {
  ReaderLock lock(&cache_lock_);
  return cache_.size();
}

bool COmniFileAccess::IsCached(const std::string& path) {
  ReaderLock lock(&cache_lock_);
  return cache_.count(path) != 0;
}

bool COmniFileAccess::IsCurrentInCache(const std::string& path) {
  FileVersion version;
  if (!GetVersion(path, &version)) return false;
  ReaderLock lock(&cache_lock_);
  auto it = cache_.find(path);
  return it != cache_.end() && it->second.version == version;
}

int COmniFileAccess::ReadersOf(const std::string& path) {
  platform::MutexLock hold(&in_flight_lock_);
  auto it = in_flight_.find(path);
  return it == in_flight_.end() ? 0 : it->second.readers;
}
