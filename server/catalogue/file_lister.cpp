#include "server/catalogue/file_lister.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <string_view>
#include <unordered_set>

#include "platform/clock.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/zip_archive.h"

namespace {

struct FolderIdHash {
  size_t operator()(const platform::FolderId& id) const {
    return std::hash<uint64_t>()(id.inode * 1000003u ^ id.device);
  }
};

// The text after the last "." of `path`, lower-cased (ASCII), empty without a ".".
bool HasZipExtension(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.size() - dot != 4) return false;
  return platform::EqualsIgnoreCase(path.substr(dot + 1), "zip");
}

bool IsListedMember(const ZipDirectoryRecord& record) {
  constexpr uint16_t kEncrypted = 0x0001;
  return record.uncompressed_size != 0 && (record.flags & kEncrypted) == 0 &&
         (record.method == 0 || record.method == 8);
}

}  // namespace

CFileLister::CFileLister(bool recursive, bool zip_reject)
    : recursive_(recursive), zip_reject_(zip_reject) {}

bool CFileLister::OnFile(const std::string&, const FoundFile&) {
  return true;
}

void CFileLister::Scan(const std::vector<std::string>& folders) {
  const int64_t start = platform::TickCountMs();
  std::deque<std::string> queue(folders.begin(), folders.end());
  std::unordered_set<platform::FolderId, FolderIdHash> listed;
  std::unordered_set<std::string> archives_seen;
  std::string path;
  while (!queue.empty()) {
    const std::string folder = std::move(queue.front());
    queue.pop_front();
    platform::FolderReader reader;
    // A folder reached a second time (a link back up the tree) is not listed again.
    if (!reader.Open(folder) || !listed.insert(reader.id()).second) continue;
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    platform::FolderEntry entry;
    while (reader.Next(&entry)) {
      path.assign(prefix).append(entry.name);
      if (entry.is_directory) {
        if (recursive_) queue.push_back(path);
        continue;
      }
      if (!entry.is_regular) continue;
      const int64_t time = FileTimeToTime(entry.mtime_sec, entry.mtime_nsec);
      if (!zip_reject_ && HasZipExtension(path)) {
        archives_seen.insert(path);
        ScanArchive(path, entry.size, time);
        continue;
      }
      const uint64_t capped = std::min<uint64_t>(entry.size, std::numeric_limits<uint32_t>::max());
      OnFile(path, FoundFile{static_cast<uint32_t>(capped), time});
    }
  }
  // Archives this scan did not meet (deleted, or no longer under the folders) are dropped.
  std::erase_if(archive_cache_, [&](const auto& item) { return !archives_seen.count(item.first); });
  last_scan_ms_ = static_cast<uint32_t>(platform::TickCountMs() - start);
}

void CFileLister::ScanArchive(const std::string& path, uint64_t size, int64_t time) {
  auto cached = archive_cache_.find(path);
  if (cached != archive_cache_.end()) {
    const ArchiveCacheEntry& entry = *cached->second;
    if (entry.size == size && entry.lastWriteTime == time) {
      for (const ArchiveMember& member : entry.members) OnFile(member.path, member.found);
      return;
    }
    archive_cache_.erase(cached);
  }
  ZipArchive zip;
  if (!zip.Open(path)) return;
  auto entry = std::make_shared<ArchiveCacheEntry>();
  entry->size = size;
  entry->lastWriteTime = time;
  for (size_t i = 0; i < zip.records().size(); ++i) {
    const ZipDirectoryRecord& record = zip.records()[i];
    if (!IsListedMember(record)) continue;
    const FoundFile found{record.uncompressed_size,
                          DosDateTimeToTime(record.dos_date, record.dos_time)};
    ArchiveMember member{MakeMemberPath(path, zip.names()[i]), found, record.dos_date,
                         record.dos_time};
    OnFile(member.path, member.found);
    entry->members.push_back(std::move(member));
  }
  archive_cache_.emplace(path, std::move(entry));
}
