// One folder as the catalogue lists it: its pictures, its ZIP archives with their members,
// and its subfolders, each by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder_listing.h"
#include "server/catalogue/archive_cache.h"

// True when `path` names one of the picture types of PictureContentType (image_types.h).
bool IsImagePath(std::string_view path);

struct ListingOptions {
  bool recursive = false;   // subfolders are listed too
  bool zip_reject = false;  // ".zip" files are plain files, not archives
  bool operator==(const ListingOptions&) const = default;
};

// A picture of a folder; its name is kept in the folder's `picture_names`.
struct ListedFile {
  int64_t lastWriteTime = 0;
  uint32_t name_end = 0;  // end of the name in `picture_names`
  uint32_t size = 0;
  bool operator==(const ListedFile&) const = default;
};

struct ListedSubfolder {
  std::string name;
  platform::FolderId id;  // the folder it led to when listed
  // A link may come to lead elsewhere without any change to this folder.
  bool is_link = false;
  bool operator==(const ListedSubfolder&) const = default;
};

struct ListedArchive {
  std::string name;
  std::shared_ptr<const ArchiveCacheEntry> entry;  // never null
  bool operator==(const ListedArchive& other) const {
    return name == other.name && entry->size == other.entry->size &&
           entry->lastWriteTime == other.entry->lastWriteTime;
  }
};

struct FolderContent {
  std::string path;  // the path it was listed under
  platform::FolderId id;
  // Each sorted by name, so that a folder listed twice gives equal contents whatever order
  // the file system returns its entries in.
  std::vector<ListedFile> pictures;
  // The pictures' names one after another: a million pictures cost their characters, not a
  // string each.
  std::string picture_names;
  std::vector<ListedArchive> archives;
  std::vector<ListedSubfolder> subfolders;  // only when listed recursively
  bool operator==(const FolderContent&) const = default;

  std::string_view PictureName(size_t i) const {
    const uint32_t begin = i == 0 ? 0 : pictures[i - 1].name_end;
    return std::string_view(picture_names).substr(begin, pictures[i].name_end - begin);
  }
};

// `path` joined with an entry's name.
std::string JoinPath(std::string_view folder, std::string_view name);

// Lists the folder `reader` has open, which was opened as `path`. Archives found unchanged
// (size and time) in `previous` (the folder's last content, or null) are not read again.
// Only the pictures, archives and subfolders it lists are examined beyond their names.
void ReadFolder(platform::FolderReader* reader, const std::string& path,
                const ListingOptions& options, const FolderContent* previous, FolderContent* out);
