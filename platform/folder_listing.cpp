#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FolderIdOf(const std::string& path, FolderId* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  *id = FolderId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

FolderReader::~FolderReader() {
  if (dir_ != nullptr) closedir(static_cast<DIR*>(dir_));
}

bool FolderReader::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  DIR* dir = fstat(fd, &st) == 0 ? fdopendir(fd) : nullptr;
  if (dir == nullptr) {
    close(fd);
    return false;
  }
  if (dir_ != nullptr) closedir(static_cast<DIR*>(dir_));
  dir_ = dir;
  id_ = FolderId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

bool FolderReader::Next(FolderEntry* entry) {
  DIR* dir = static_cast<DIR*>(dir_);
  while (const dirent* d = readdir(dir)) {
    const std::string_view name(d->d_name);
    if (name == "." || name == "..") continue;
    *entry = FolderEntry{};
    entry->name = name;
    if (d->d_type == DT_REG || d->d_type == DT_DIR) {
      entry->is_regular = d->d_type == DT_REG;
      entry->is_directory = d->d_type == DT_DIR;
      return true;
    }
    entry->is_link = d->d_type == DT_LNK;
    if (d->d_type == DT_UNKNOWN) {
      struct stat own;
      entry->is_link = fstatat(dirfd(dir), d->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISLNK(own.st_mode);
    }
    if (ReadStatus(entry)) return true;
  }
  return false;
}

bool FolderReader::ReadStatus(FolderEntry* entry) const {
  // The name points into the listing's own entry, which ends in a NUL.
  struct stat st;
  if (fstatat(dirfd(static_cast<DIR*>(dir_)), entry->name.data(), &st, 0) != 0) return false;
  entry->has_status = true;
  entry->is_directory = S_ISDIR(st.st_mode);
  entry->is_regular = S_ISREG(st.st_mode);
  entry->size = static_cast<uint64_t>(st.st_size);
  entry->mtime_sec = st.st_mtim.tv_sec;
  entry->mtime_nsec = st.st_mtim.tv_nsec;
  if (entry->is_directory) {
    entry->folder_id = FolderId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  }
  return true;
}

}  // namespace platform
