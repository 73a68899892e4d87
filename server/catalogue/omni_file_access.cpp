#include "server/catalogue/omni_file_access.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "server/catalogue/direct_file_access.h"
#include "server/catalogue/zip_file_access.h"

COmniFileAccess& COmniFileAccess::Instance() {
  static COmniFileAccess* const instance = new COmniFileAccess();
  return *instance;
}

COmniFileAccess::COmniFileAccess() {
  backends_.push_back(std::make_unique<CDirectFileAccess>());
  backends_.push_back(std::make_unique<CZIPFileAccess>());
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
  CBasseFileAccess& backend = BackendFor(path);
  if (use_cache == 0) return backend.ReadAll(0, path, out);

  // The version is taken before the bytes are read: a file changed during the read is then
  // stored under its old version and read again on the next request.
  FileVersion version;
  bool versioned = backend.GetVersion(path, &version);
  if (versioned && ReadFromCache(path, version, out)) return true;
  std::vector<uint8_t> bytes;
  if (!backend.ReadAll(0, path, &bytes)) return false;
  if (versioned) Store(path, version, bytes);
  *out = std::move(bytes);
  return true;
}

bool COmniFileAccess::ReadFromCache(const std::string& path, const FileVersion& version,
                                    std::vector<uint8_t>* out) {
  {
    std::shared_lock lock(cache_lock_);
    auto it = cache_.find(path);
    if (it == cache_.end() || !(it->second.version == version)) return false;
    *out = it->second.bytes;
  }
  uint32_t stamp = use_counter_.fetch_add(1) + 1;
  std::unique_lock lock(cache_lock_);
  auto it = cache_.find(path);
  if (it != cache_.end()) it->second.use_stamp = stamp;
  return true;
}

void COmniFileAccess::Store(const std::string& path, const FileVersion& version,
                            const std::vector<uint8_t>& bytes) {
  FileCacheEntry entry{version, bytes, use_counter_.fetch_add(1) + 1};
  {
    std::unique_lock lock(cache_lock_);
    cache_[path] = std::move(entry);
  }
  Trim();
}

void COmniFileAccess::Trim() {
  const size_t limit = cache_limit_.load();
  {
    std::shared_lock lock(cache_lock_);
    if (cache_.size() <= 2 * limit) return;
  }
  std::unique_lock lock(cache_lock_);
  if (cache_.size() <= 2 * limit) return;
  std::vector<std::pair<uint32_t, const std::string*>> stamps;
  stamps.reserve(cache_.size());
  for (const auto& [path, entry] : cache_) stamps.push_back({entry.use_stamp, &path});
  // The most recently used `limit` first; their order among themselves does not matter.
  std::nth_element(stamps.begin(), stamps.begin() + limit, stamps.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  FileCache kept;
  kept.reserve(limit);
  for (size_t i = 0; i < limit; ++i) {
    auto node = cache_.extract(*stamps[i].second);
    kept.insert(std::move(node));
  }
  cache_.swap(kept);
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

void COmniFileAccess::SetCacheLimit(uint32_t limit) {
  cache_limit_.store(limit);
}

size_t COmniFileAccess::CachedCount() {
  std::shared_lock lock(cache_lock_);
  return cache_.size();
}

bool COmniFileAccess::IsCached(const std::string& path) {
  std::shared_lock lock(cache_lock_);
  return cache_.count(path) != 0;
}
