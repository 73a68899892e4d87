#include "server/pictures/thumbnail_store.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>

#include "common/config/md5_hex.h"
#include "platform/clock.h"
#include "platform/known_folders.h"
#include "platform/thread_priority.h"
#include "server/pictures/image_reduce.h"

// A disk entry is one file named after the MD5 of its key:
//   "LVTHUMB2 <key length> <body length> <J|P|S> <MD5 of the body>\n" <key> <body>
// J, P: the body is the rendition, a JPEG or a PNG; S: the picture is sent as stored and the
// body is empty. (Entries of the first format, which held no type, are made again.) The
// key is stored whole, so that two keys with one MD5 never share an entry, and the body's
// MD5 finds a truncated or damaged file, which is then made again.

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "LVTHUMB2";
constexpr std::string_view kEntrySuffix = ".thumb";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kMaxHeaderBytes = 128;
constexpr uint64_t kMaxEntryBytes = uint64_t{64} << 20;
// What one memory entry costs beyond its key and thumbnail: list node, map node, pointers.
constexpr size_t kEntryOverhead = 160;
constexpr auto kAbandonedAfter = std::chrono::minutes(10);

std::string_view AsText(const std::vector<uint8_t>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Takes the next space- or newline-ended decimal number from `text`.
bool TakeNumber(std::string_view* text, uint64_t* out) {
  size_t end = text->find_first_of(" \n");
  if (end == 0 || end == std::string_view::npos || end > 20) return false;
  uint64_t value = 0;
  for (char c : text->substr(0, end)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  *out = value;
  text->remove_prefix(end + 1);
  return true;
}

// The letter of an entry's kind, and back.
char KindOf(const Thumbnail& thumbnail, std::string_view content_type) {
  if (!thumbnail) return 'S';
  return content_type == "image/png" ? 'P' : 'J';
}
std::string_view TypeOfKind(char kind) {
  return kind == 'P' ? "image/png" : kind == 'J' ? "image/jpeg" : "";
}

}  // namespace

bool ParseThumbnailEntry(std::string_view file, std::string_view key,
                         std::string_view* reduced_type, std::string_view* body) {
  const size_t header_end = file.find('\n');
  if (header_end == std::string_view::npos || header_end >= kMaxHeaderBytes ||
      file.substr(0, kMagic.size()) != kMagic || file.substr(kMagic.size(), 1) != " ") {
    return false;
  }
  std::string_view header = file.substr(kMagic.size() + 1, header_end - kMagic.size());
  uint64_t key_length = 0, body_length = 0;
  if (!TakeNumber(&header, &key_length) || !TakeNumber(&header, &body_length) ||
      header.size() < 2 || (header[0] != 'J' && header[0] != 'P' && header[0] != 'S') ||
      header[1] != ' ') {
    return false;
  }
  const char kind = header[0];
  const std::string_view digest = header.substr(2, header.size() - 3);  // up to the newline
  const std::string_view rest = file.substr(header_end + 1);
  if (rest.size() != key_length + body_length || key_length > rest.size() ||
      rest.substr(0, key_length) != key || (kind == 'S' && body_length != 0) ||
      MD5Hex(rest.substr(key_length)) != digest) {
    return false;
  }
  *reduced_type = TypeOfKind(kind);
  *body = rest.substr(key_length);
  return true;
}

std::string ThumbnailStore::DefaultFolder() {
  return platform::CacheFolder() + "/lumenvale/thumbnails";
}

std::string ThumbnailStore::RenditionFolder() {
  return platform::CacheFolder() + "/lumenvale/renditions";
}

ThumbnailStore::ThumbnailStore(COmniFileAccess& files, std::string folder, size_t memory_bytes,
                               uint64_t disk_bytes)
    : files_(files),
      folder_(std::move(folder)),
      memory_bytes_(memory_bytes),
      disk_bytes_(disk_bytes),
      uses_disk_(!folder_.empty()) {}

// The folder is made on the first write, so that a server that never makes a thumbnail
// leaves no trace in the user's cache.
bool ThumbnailStore::PrepareFolder() {
  {
    platform::MutexLock hold(&lock_);
    if (folder_ready_ || !uses_disk_) return uses_disk_;
  }
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error || !fs::is_directory(folder_, error)) {
    StopUsingDisk(error ? error.message() : "not a folder");
    return false;
  }
  PrunePlan plan;
  bool uses_disk;
  {
    platform::MutexLock hold(&lock_);
    if (!folder_ready_) plan = PlanPrune();  // counts what earlier runs left
    folder_ready_ = true;
    uses_disk = uses_disk_;
  }
  CarryOut(plan);
  return uses_disk;
}

bool ThumbnailStore::Key(const std::string& path, std::string_view content_type,
                         const Rendition& rendition, std::string* key) {
  FileVersion version;
  if (!files_.GetVersion(path, &version)) return false;
  *key = KeyOf(path, content_type, rendition, version);
  return true;
}

std::string ThumbnailStore::KeyOf(const std::string& path, std::string_view content_type,
                                  const Rendition& rendition, const FileVersion& version) {
  // Built in place: the connection loop makes one for every warm thumbnail it answers.
  std::string key;
  key.reserve(content_type.size() + path.size() + 80);
  key.append(content_type).push_back('\0');
  key.append(path).push_back('\0');
  auto number = [&key](int64_t value) {
    char digits[24];
    key.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  };
  number(static_cast<int64_t>(version.size));
  key.push_back('\0');
  number(version.mtime_sec);
  key.push_back('\0');
  number(version.mtime_nsec);
  key.push_back('\0');
  number(rendition.width);
  key.push_back('\0');
  number(rendition.jpeg_quality);
  return key;
}

std::string ThumbnailStore::FileFor(const std::string& key) const {
  return folder_ + "/" + MD5Hex(key) + std::string(kEntrySuffix);
}

bool ThumbnailStore::Find(const std::string& path, std::string_view content_type,
                          const Rendition& rendition, ReducedPicture* out) {
  if (!ReducesType(content_type)) return false;
  std::string key;
  Entry entry;
  if (!Key(path, content_type, rendition, &key)) {
    // The version cannot be known, so nothing can be kept: reduce for this answer only.
    bool readable = false;
    entry = Reduce(path, content_type, rendition, &readable);
  } else if (!Lookup(key, &entry)) {
    entry = MakeOnce(key, path, content_type, rendition);
  }
  if (!entry.thumbnail) return false;
  *out = {entry.thumbnail, entry.content_type};
  return true;
}

ThumbnailStore::Kept ThumbnailStore::FindInMemory(const std::string& path,
                                                   std::string_view content_type,
                                                   const Rendition& rendition,
                                                   const FileVersion& version,
                                                   ReducedPicture* out) {
  if (!ReducesType(content_type)) return Kept::kAsStored;
  const std::string key = KeyOf(path, content_type, rendition, version);
  // A prune lists the folder under the lock: the loop does not wait for that.
  if (!lock_.TryLock()) return Kept::kUnknown;
  Kept kept = Kept::kUnknown;
  auto known = by_key_.find(key);
  if (known != by_key_.end()) {
    lru_.splice(lru_.begin(), lru_, known->second);
    const Entry& entry = known->second->second;
    if (entry.thumbnail) *out = {entry.thumbnail, entry.content_type};
    kept = entry.thumbnail ? Kept::kKept : Kept::kAsStored;
  }
  lock_.Unlock();
  return kept;
}

ThumbnailStore::Entry ThumbnailStore::MakeOnce(const std::string& key, const std::string& path,
                                               std::string_view content_type,
                                               const Rendition& rendition) {
  auto flight = std::make_shared<InFlight>();
  {
    platform::MutexLock hold(&lock_);
    if (auto known = by_key_.find(key); known != by_key_.end()) return known->second->second;
    if (FailedLately(key)) return Entry{};
    if (auto running = in_flight_.find(key); running != in_flight_.end()) {
      // The flight's fields are written under lock_ too.
      std::shared_ptr<InFlight> other = running->second;
      while (!other->done) other->finished.Wait(&lock_);
      return other->entry;
    }
    in_flight_.emplace(key, flight);
  }
  bool readable = false;
  Entry entry;
  try {
    entry = Reduce(path, content_type, rendition, &readable);
  } catch (const std::bad_alloc&) {
    readable = false;  // the waiting callers must still be released
  }
  {
    platform::MutexLock hold(&lock_);
    if (readable) {
      Remember(key, entry);
    } else {
      RememberFailure(key);
    }
    in_flight_.erase(key);
    flight->entry = entry;
    flight->done = true;
    flight->finished.NotifyAll();
  }
  if (readable) WriteToDisk(key, entry);
  return entry;
}

void ThumbnailStore::MakeAhead(const std::string& path, std::string_view content_type,
                               const Rendition& rendition) {
  std::string key;
  Entry entry;
  if (!ReducesType(content_type) || !Key(path, content_type, rendition, &key) ||
      Lookup(key, &entry)) {
    return;
  }
  {
    platform::MutexLock hold(&lock_);
    // A request is making it, or other work ahead is.
    if (in_flight_.count(key) || !ahead_in_flight_.insert(key).second) return;
  }
  bool readable = false;
  try {
    entry = Reduce(path, content_type, rendition, &readable, /*ahead=*/true);
  } catch (const std::bad_alloc&) {
    platform::RunThisThreadAtNormalPriority();
    readable = false;
  }
  const bool keep = readable && HasRoomAhead();
  {
    platform::MutexLock hold(&lock_);
    ahead_in_flight_.erase(key);
    if (keep) Remember(key, entry);
  }
  if (keep) WriteToDisk(key, entry);
}

bool ThumbnailStore::HasRoomAhead() {
  if (!PrepareFolder()) return false;
  platform::MutexLock hold(&lock_);
  // A prune brings the folder down to nine tenths of its bound: work ahead stops short of
  // that, so that it never makes a prune push out what is there.
  return disk_total_ < disk_bytes_ / 10 * 8;
}

bool ThumbnailStore::Has(const std::string& path, std::string_view content_type,
                         const Rendition& rendition) {
  std::string key;
  if (!ReducesType(content_type)) return true;
  if (!Key(path, content_type, rendition, &key)) return false;
  {
    platform::MutexLock hold(&lock_);
    if (by_key_.count(key) != 0 || FailedLately(key)) return true;
    if (!uses_disk_) return false;
  }
  std::error_code error;
  return fs::exists(FileFor(key), error);
}

bool ThumbnailStore::FailedLately(const std::string& key) {
  auto failed = failed_until_.find(key);
  if (failed == failed_until_.end()) return false;
  if (platform::TickCountMs() < failed->second) return true;
  failed_until_.erase(failed);
  return false;
}

void ThumbnailStore::RememberFailure(const std::string& key) {
  // Forgetting them all at once is rare and costs only a retry of each.
  if (failed_until_.size() >= kRememberedFailures) failed_until_.clear();
  failed_until_[key] = platform::TickCountMs() + kFailureMemoryMs;
}

bool ThumbnailStore::Lookup(const std::string& key, Entry* entry) {
  {
    platform::MutexLock hold(&lock_);
    auto known = by_key_.find(key);
    if (known != by_key_.end()) {
      lru_.splice(lru_.begin(), lru_, known->second);
      *entry = known->second->second;
      return true;
    }
    if (!uses_disk_) return false;
  }
  if (!ReadFromDisk(key, entry)) return false;
  platform::MutexLock hold(&lock_);
  Remember(key, *entry);
  return true;
}

ThumbnailStore::Entry ThumbnailStore::Reduce(const std::string& path, std::string_view content_type,
                                             const Rendition& rendition, bool* readable,
                                             bool ahead) {
  std::vector<uint8_t> bytes;
  Entry entry;
  // The original is read past the file cache: it is needed once, and whole photos there
  // would crowd out what the cache is for.
  *readable = files_.ReadAll(0, path, &bytes);
  if (!*readable) return entry;
  {
    platform::MutexLock hold(&lock_);
    ++reductions_;
  }
  // Only the decoding and encoding run at idle priority: the read takes locks and read budget
  // that requests share, which a thread the system lets wait must not hold.
  if (ahead) platform::RunThisThreadAtIdlePriority();
  const bool reduced = ReduceImage(content_type, rendition, &bytes, &entry.content_type);
  if (ahead) platform::RunThisThreadAtNormalPriority();
  if (reduced) entry.thumbnail = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
  return entry;
}

void ThumbnailStore::Remember(const std::string& key, const Entry& entry) {
  const size_t bytes =
      key.size() + kEntryOverhead + (entry.thumbnail ? entry.thumbnail->size() : 0);
  if (bytes > memory_bytes_ || by_key_.count(key) != 0) return;
  lru_.emplace_front(key, entry);
  by_key_.emplace(key, lru_.begin());
  memory_total_ += bytes;
  while (memory_total_ > memory_bytes_) {
    const auto& [old_key, old_entry] = lru_.back();
    memory_total_ -=
        old_key.size() + kEntryOverhead + (old_entry.thumbnail ? old_entry.thumbnail->size() : 0);
    by_key_.erase(old_key);
    lru_.pop_back();
  }
}

bool ThumbnailStore::ReadFromDisk(const std::string& key, Entry* entry) {
  const std::string file = FileFor(key);
  std::error_code error;
  const uint64_t size = fs::file_size(file, error);
  if (error) return false;
  std::vector<uint8_t> bytes;
  bool sound = false;
  if (size <= kMaxEntryBytes) {
    std::ifstream in(file, std::ios::binary);
    bytes.resize(size);
    sound = in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)) &&
            in.gcount() == static_cast<std::streamsize>(size);
  }
  std::string_view reduced_type, body;
  sound = sound && ParseThumbnailEntry(AsText(bytes), key, &reduced_type, &body);
  if (!sound) {
    // Damaged or cut short: made again, and written anew then.
    fs::remove(file, error);
    platform::MutexLock hold(&lock_);
    disk_total_ -= std::min(disk_total_, size);
    return false;
  }
  entry->thumbnail.reset();
  entry->content_type = reduced_type;
  if (!reduced_type.empty()) {
    entry->thumbnail = std::make_shared<const std::vector<uint8_t>>(body.begin(), body.end());
  }
  // The modification time orders entries for pruning: a used entry counts as new.
  fs::last_write_time(file, fs::file_time_type::clock::now(), error);
  return true;
}

void ThumbnailStore::WriteToDisk(const std::string& key, const Entry& entry) {
  std::string temporary;
  if (!PrepareFolder()) return;
  {
    platform::MutexLock hold(&lock_);
    temporary = folder_ + "/" + std::to_string(::getpid()) + "-" +
                std::to_string(++temporary_counter_) + std::string(kTemporarySuffix);
  }
  const std::string_view body = entry.thumbnail ? AsText(*entry.thumbnail) : std::string_view();
  const std::string header =
      std::string(kMagic) + " " + std::to_string(key.size()) + " " + std::to_string(body.size()) +
      " " + KindOf(entry.thumbnail, entry.content_type) + " " + MD5Hex(body) + "\n";
  std::error_code error;
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(key.data(), static_cast<std::streamsize>(key.size()));
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    written = out.good();
  }
  // The rename makes the whole entry appear at once: a reader sees the old file, none, or
  // the complete new one.
  if (written) fs::rename(temporary, FileFor(key), error);
  if (!written || error) {
    fs::remove(temporary, error);
    StopUsingDisk("cannot write " + temporary);
    return;
  }
  PrunePlan plan;
  {
    platform::MutexLock hold(&lock_);
    disk_total_ += header.size() + key.size() + body.size();
    if (disk_total_ > disk_bytes_) plan = PlanPrune();
  }
  CarryOut(plan);
}

ThumbnailStore::PrunePlan ThumbnailStore::PlanPrune() {
  PrunePlan plan;
  // Another prune's deletions are not yet taken off the count: a listing now would take
  // them off twice.
  if (pruning_) return plan;
  std::vector<Doomed> entries;
  std::error_code error;
  uint64_t total = 0;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code entry_error;
    if (EndsWith(name, kTemporarySuffix)) {
      // Left by a process that stopped while writing; a recent one may still be written.
      const auto age = fs::file_time_type::clock::now() - it->last_write_time(entry_error);
      if (!entry_error && age > kAbandonedAfter) plan.temporaries.push_back(it->path());
      continue;
    }
    if (!EndsWith(name, kEntrySuffix)) continue;
    Doomed found{it->path(), it->last_write_time(entry_error), it->file_size(entry_error)};
    if (entry_error) continue;
    total += found.size;
    entries.push_back(std::move(found));
  }
  disk_total_ = total;
  // Down to nine tenths of the bound, so that pruning is paid once per many new entries.
  const uint64_t target = disk_bytes_ / 10 * 9;
  if (total > disk_bytes_) {
    std::sort(entries.begin(), entries.end(),
              [](const Doomed& a, const Doomed& b) { return a.time < b.time; });
    for (Doomed& found : entries) {
      if (total <= target) break;
      total -= found.size;
      plan.entries.push_back(std::move(found));
    }
  }
  pruning_ = !plan.entries.empty() || !plan.temporaries.empty();
  return plan;
}

// An entry read (and so touched) or made again since the listing is kept. One made again
// after that check is deleted with its old self; its writer has counted it, and the size
// taken off here is its size too, since an entry's file name fixes its key and content.
void ThumbnailStore::CarryOut(const PrunePlan& plan) {
  if (plan.entries.empty() && plan.temporaries.empty()) return;
  std::error_code error;
  for (const fs::path& temporary : plan.temporaries) fs::remove(temporary, error);
  uint64_t freed = 0;
  for (const Doomed& doomed : plan.entries) {
    const fs::file_time_type time = fs::last_write_time(doomed.path, error);
    if (error || time != doomed.time) continue;
    if (fs::remove(doomed.path, error)) freed += doomed.size;
  }
  platform::MutexLock hold(&lock_);
  disk_total_ -= std::min(disk_total_, freed);
  pruning_ = false;
}

void ThumbnailStore::StopUsingDisk(const std::string& why) {
  platform::MutexLock hold(&lock_);
  if (!uses_disk_) return;
  uses_disk_ = false;
  std::fprintf(stderr,
               "Thumbnail folder %s is not usable (%s); thumbnails are kept in memory only.\n",
               folder_.c_str(), why.c_str());
}

bool ThumbnailStore::UsesDisk() {
  platform::MutexLock hold(&lock_);
  return uses_disk_;
}

size_t ThumbnailStore::MemoryBytes() {
  platform::MutexLock hold(&lock_);
  return memory_total_;
}

uint64_t ThumbnailStore::DiskBytes() {
  platform::MutexLock hold(&lock_);
  return disk_total_;
}

uint64_t ThumbnailStore::Reductions() {
  platform::MutexLock hold(&lock_);
  return reductions_;
}
