// Renditions of pictures kept once made (thumbnails in one store; screen-sized pictures and
// the full-size JPEGs of HEIF pictures in another, each store with its own folder and bounds), so
// that a picture is reduced once per version of its file and rendition: in memory (bounded in
// bytes, the least recently used out) and in a folder on disk (bounded in bytes, the least recently
// used out), which keeps the work across restarts. An entry is keyed by the picture's path, the
// content type it is sent as, the rendition (width and quality) and the file's version (size and
// full-precision modification time; a ZIP member's is its archive's), so a changed picture never
// gets an old rendition. What the store hands out is byte for byte what ReduceImage makes of the
// file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/mutex.h"
#include "server/catalogue/omni_file_access.h"

#include "server/pictures/image_reduce.h"

using Thumbnail = std::shared_ptr<const std::vector<uint8_t>>;

// A picture as reduced for sending: its bytes and their content type.
struct ReducedPicture {
  Thumbnail bytes;
  std::string_view content_type;  // "image/jpeg" or "image/png"
};

// Reads one entry file of the store's folder made for `key`. False when it is damaged, cut
// short or made for another key. `*body` views into `file`; `*reduced_type` is the body's
// content type, or empty when the picture is sent as stored (and the body is empty).
bool ParseThumbnailEntry(std::string_view file, std::string_view key,
                         std::string_view* reduced_type, std::string_view* body);

class ThumbnailStore {
 public:
  // The thumbnails' bounds.
  static constexpr size_t kMemoryBytes = size_t{32} << 20;
  static constexpr uint64_t kDiskBytes = uint64_t{1} << 30;
  // The other renditions' bounds (screen sizes, full-size JPEGs of HEIF pictures): a screen
  // rendition takes a few hundred kilobytes, a 12-megapixel photo's full-size JPEG 3-6 MB, so
  // two gigabytes hold a gallery's worth for a phone and a desktop.
  static constexpr size_t kRenditionMemoryBytes = size_t{64} << 20;
  static constexpr uint64_t kRenditionDiskBytes = uint64_t{2} << 30;
  // A picture that could not be read (a damaged or refused ZIP member, a file gone or too
  // large) is not read again for its rendition for this long, however often it is asked
  // for or worked on ahead; a changed file is a new version and is tried at once.
  static constexpr int64_t kFailureMemoryMs = 10 * 60 * 1000;
  static constexpr size_t kRememberedFailures = 4096;

  // The server's folder for thumbnails: "lumenvale/thumbnails" under the user's cache folder
  // (XDG_CACHE_HOME, else ~/.cache).
  static std::string DefaultFolder();
  // The server's folder for the other renditions: "lumenvale/renditions" beside it.
  static std::string RenditionFolder();

  // Keeps thumbnails in `folder`, created when the first one is written; "" keeps them in
  // memory only. A folder that cannot be created or written leaves the store in memory
  // only, said once in one line on standard error. Pictures are read through `files`, which
  // must outlive the store.
  ThumbnailStore(COmniFileAccess& files, std::string folder, size_t memory_bytes,
                 uint64_t disk_bytes);

  // The `rendition` of the picture at `path` sent as `content_type`, made when the store
  // has none for the file's current version. Two callers asking for the same missing
  // rendition at once share one reduction. False when the picture is sent as stored
  // (ReduceImage does not reduce it) or cannot be read; `*out` is then left alone. Any
  // thread may call it.
  bool Find(const std::string& path, std::string_view content_type, const Rendition& rendition,
            ReducedPicture* out);

  // What the store holds in memory for the picture at `path` as it is in `version` (the
  // caller's look at the file), found without reading or reducing anything and without
  // waiting for the store's lock, so that the connection loop may ask: kKept fills `*out`;
  // kAsStored: the picture is sent as stored; kUnknown: only Find can tell (the rendition is
  // on disk only, not made yet, failed lately, or the lock was busy).
  enum class Kept { kKept, kAsStored, kUnknown };
  Kept FindInMemory(const std::string& path, std::string_view content_type,
                    const Rendition& rendition, const FileVersion& version, ReducedPicture* out);

  // Whether the store knows the outcome for the picture's current version without reducing
  // (a read that failed lately counts as known).
  bool Has(const std::string& path, std::string_view content_type, const Rendition& rendition);

  // Like Find, for work ahead of the requests: nobody waits for it (a request for the same
  // rendition meanwhile makes its own), and it is not kept when the folder is full. Decoding
  // and encoding run at idle priority, the rest at the normal one: a thread the system lets
  // wait must not hold a lock that a request is waiting for.
  void MakeAhead(const std::string& path, std::string_view content_type, const Rendition& rendition);
  // Whether the folder has room for more thumbnails before any must be pushed out: work ahead
  // stops when it has none, and leaves the room that is left to the requests.
  bool HasRoomAhead();

  bool UsesDisk();
  // Makes the store's folder unless it is made already. False when thumbnails are kept in
  // memory only (no folder, or one that cannot be made).
  bool PrepareFolder();
  // Tests only.
  size_t MemoryBytes();
  // Tests only.
  uint64_t DiskBytes();
  // The number of reductions this store has run.
  // Tests only.
  uint64_t Reductions();

 private:
  // The outcome of one reduction; `thumbnail` is null when the picture is sent as stored.
  struct Entry {
    Thumbnail thumbnail;
    std::string_view content_type;  // of the thumbnail; a literal of ReduceImage's
  };
  struct InFlight {
    bool done = false;
    Entry entry;
    platform::CondVar finished;
  };
  using Lru = std::list<std::pair<std::string, Entry>>;

  bool Key(const std::string& path, std::string_view content_type, const Rendition& rendition,
           std::string* key);
  static std::string KeyOf(const std::string& path, std::string_view content_type,
                           const Rendition& rendition, const FileVersion& version);
  bool Lookup(const std::string& key, Entry* entry);  // memory, then disk
  // Reduces the picture, unless another caller is already at it: then waits for its result.
  Entry MakeOnce(const std::string& key, const std::string& path, std::string_view content_type,
                 const Rendition& rendition);
  // `*readable` false: the file could not be read, and the outcome is not to be kept.
  // `ahead`: for work ahead, decoding and encoding at idle priority.
  Entry Reduce(const std::string& path, std::string_view content_type, const Rendition& rendition,
               bool* readable, bool ahead = false);
  void Remember(const std::string& key, const Entry& entry) REQUIRES(lock_);
  // Whether the picture of `key` could not be read within kFailureMemoryMs.
  bool FailedLately(const std::string& key) REQUIRES(lock_);
  void RememberFailure(const std::string& key) REQUIRES(lock_);
  bool ReadFromDisk(const std::string& key, Entry* entry) EXCLUDES(lock_);
  void WriteToDisk(const std::string& key, const Entry& entry) EXCLUDES(lock_);

  // What a prune deletes: entries, oldest first, and temporary files left behind.
  struct Doomed {
    std::filesystem::path path;
    std::filesystem::file_time_type time;  // as listed: a file touched since is kept
    uint64_t size = 0;
  };
  struct PrunePlan {
    std::vector<Doomed> entries;
    std::vector<std::filesystem::path> temporaries;
  };
  // Lists the folder, counts disk_total_ afresh and picks what goes; deletes nothing, so
  // requests wait on the lock for a listing at most. Empty while another prune deletes.
  PrunePlan PlanPrune() REQUIRES(lock_);
  // Deletes what the plan names, without the lock, and takes what went off disk_total_.
  void CarryOut(const PrunePlan& plan) EXCLUDES(lock_);
  void StopUsingDisk(const std::string& why) EXCLUDES(lock_);
  std::string FileFor(const std::string& key) const;

  COmniFileAccess& files_;
  const std::string folder_;
  const size_t memory_bytes_;
  const uint64_t disk_bytes_;

  platform::Mutex lock_;
  bool uses_disk_ GUARDED_BY(lock_);
  bool folder_ready_ GUARDED_BY(lock_) = false;
  uint64_t disk_total_ GUARDED_BY(lock_) = 0;
  bool pruning_ GUARDED_BY(lock_) = false;  // a prune deletes files now
  Lru lru_ GUARDED_BY(lock_);               // most recently used first
  std::unordered_map<std::string, Lru::iterator> by_key_ GUARDED_BY(lock_);
  size_t memory_total_ GUARDED_BY(lock_) = 0;
  std::unordered_map<std::string, std::shared_ptr<InFlight>> in_flight_ GUARDED_BY(lock_);
  // Keys work ahead is reducing now; no request waits for them.
  std::unordered_set<std::string> ahead_in_flight_ GUARDED_BY(lock_);
  uint64_t reductions_ GUARDED_BY(lock_) = 0;
  // Keys whose picture could not be read, to the tick until which that is believed.
  std::unordered_map<std::string, int64_t> failed_until_ GUARDED_BY(lock_);
  uint64_t temporary_counter_ GUARDED_BY(lock_) = 0;
};
