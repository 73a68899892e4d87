#include "server/catalogue/folder_content.h"

#include <algorithm>
#include <limits>

#include "platform/text.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/image_types.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/zip_archive.h"

namespace {

bool HasZipExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot != 4) return false;
  return platform::EqualsIgnoreCase(name.substr(dot + 1), "zip");
}

bool IsListedMember(const ZipDirectoryRecord& record) {
  constexpr uint16_t kEncrypted = 0x0001;
  return record.uncompressed_size != 0 && (record.flags & kEncrypted) == 0 &&
         (record.method == 0 || record.method == 8);
}

// The archive as it is now: from `previous` when its size and time are unchanged, else read.
// An archive that cannot be read is kept without members, so it is not tried again until it
// changes.
std::shared_ptr<const ArchiveCacheEntry> ReadArchive(const std::string& path, uint64_t size,
                                                     int64_t time,
                                                     const ListedArchive* previous) {
  if (previous && previous->entry->size == size && previous->entry->lastWriteTime == time) {
    return previous->entry;
  }
  auto entry = std::make_shared<ArchiveCacheEntry>();
  entry->size = size;
  entry->lastWriteTime = time;
  ZipArchive zip;
  if (!zip.Open(path)) return entry;
  for (size_t i = 0; i < zip.records().size(); ++i) {
    const ZipDirectoryRecord& record = zip.records()[i];
    if (!IsListedMember(record)) continue;
    const FoundFile found{record.uncompressed_size,
                          DosDateTimeToTime(record.dos_date, record.dos_time)};
    entry->members.push_back(ArchiveMember{SharedPath(MakeMemberPath(path, zip.names()[i])), found,
                                           record.dos_date, record.dos_time});
  }
  return entry;
}

template <typename T>
void SortByName(std::vector<T>* items) {
  std::sort(items->begin(), items->end(), [](const T& a, const T& b) { return a.name < b.name; });
}

// Names as they stand in a path, followed by "/": "a b" comes before "a", as "a b/x" comes
// before "a/x", so the folders' contents come in the order of their paths.
bool FolderNameLess(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  if (const int c = a.substr(0, common).compare(b.substr(0, common)); c != 0) return c < 0;
  if (a.size() == b.size()) return false;
  if (a.size() < b.size()) return '/' < static_cast<unsigned char>(b[common]);
  return static_cast<unsigned char>(a[common]) < '/';
}

}  // namespace

bool IsImagePath(std::string_view path) {
  return !PictureContentType(path).empty();
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

void ReadFolder(platform::FolderReader* reader, const std::string& path,
                const ListingOptions& options, const FolderContent* previous, FolderContent* out) {
  out->path = path;
  out->id = reader->id();
  // Archives are reused only from a listing under the same path: their members' paths
  // contain it.
  const bool reuse = previous && previous->path == path;
  struct Picture {
    std::string name;
    ListedFile file;
  };
  std::vector<Picture> pictures;
  platform::FolderEntry entry;
  while (reader->Next(&entry)) {
    if (entry.is_directory) {
      if (!options.recursive) continue;
      if (!entry.has_status && !reader->ReadStatus(&entry)) continue;
      if (entry.is_directory) {
        out->subfolders.push_back({std::string(entry.name), entry.folder_id, entry.is_link});
      }
      continue;
    }
    if (!entry.is_regular) continue;
    // Other files (videos, sidecar files, notes) are passed over by their names alone.
    const bool archive = !options.zip_reject && HasZipExtension(entry.name);
    if (!archive && !IsImagePath(entry.name)) continue;
    if (!entry.has_status && (!reader->ReadStatus(&entry) || !entry.is_regular)) continue;
    const int64_t time = FileTimeToTime(entry.mtime_sec, entry.mtime_nsec);
    if (archive) {
      const ListedArchive* before = nullptr;
      if (reuse) {
        auto found = std::lower_bound(
            previous->archives.begin(), previous->archives.end(), entry.name,
            [](const ListedArchive& a, std::string_view name) { return a.name < name; });
        if (found != previous->archives.end() && found->name == entry.name) before = &*found;
      }
      out->archives.push_back(
          {std::string(entry.name), ReadArchive(JoinPath(path, entry.name), entry.size, time, before)});
      continue;
    }
    const uint64_t capped = std::min<uint64_t>(entry.size, std::numeric_limits<uint32_t>::max());
    pictures.push_back({std::string(entry.name), ListedFile{time, 0, static_cast<uint32_t>(capped)}});
  }
  SortByName(&pictures);
  SortByName(&out->archives);
  std::sort(out->subfolders.begin(), out->subfolders.end(),
            [](const ListedSubfolder& a, const ListedSubfolder& b) {
              return FolderNameLess(a.name, b.name);
            });
  out->pictures.reserve(pictures.size());
  for (Picture& picture : pictures) {
    out->picture_names += picture.name;
    picture.file.name_end = static_cast<uint32_t>(out->picture_names.size());
    out->pictures.push_back(picture.file);
  }
  out->picture_names.shrink_to_fit();
}
