// Reading the entries of a folder with their status, as the catalogue's scan needs them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Identifies a folder however it was reached (through symbolic links or not).
struct FolderId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

struct FolderEntry {
  std::string_view name;      // valid until the next call of Next
  bool is_directory = false;  // after following a symbolic link
  bool is_link = false;       // a symbolic link (to whatever is_directory and is_regular say)
  bool is_regular = false;
  // The rest is read only when `has_status` (see FolderReader::ReadStatus).
  bool has_status = false;
  uint64_t size = 0;       // regular files only
  int64_t mtime_sec = 0;   // regular files only: last write, seconds since 1970-01-01 UTC
  int64_t mtime_nsec = 0;  // and the nanoseconds within that second
  FolderId folder_id;      // folders only: the folder the entry leads to
};

// The folder at `path` (symbolic links followed); false when it is not one.
bool FolderIdOf(const std::string& path, FolderId* id);

// One pass over the entries of a folder, in the order the file system returns them.
class FolderReader {
 public:
  FolderReader() = default;
  ~FolderReader();
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  // False when `path` cannot be opened as a folder (symbolic links are followed).
  bool Open(const std::string& path);
  // The opened folder's identity. REQUIRES: Open succeeded.
  FolderId id() const { return id_; }
  // The next entry but "." and ".."; entries that cannot be examined (a dangling link) are
  // skipped. False at the end. Its type comes from the listing itself where the file system
  // gives it, and the status is then left unread, so that files a caller passes over by
  // name cost no system call. Symbolic links, and entries of file systems that give no
  // types, come with their status.
  bool Next(FolderEntry* entry);
  // Reads the status of `entry` (symbolic links followed), as of now; false when it can no
  // longer be examined (gone, or a link that leads nowhere). Its type is updated too.
  bool ReadStatus(FolderEntry* entry) const;

 private:
  void* dir_ = nullptr;  // DIR*
  FolderId id_;
};

}  // namespace platform
