// A new file that takes its name in a folder only once it is written in full, so that no
// reader of the folder ever sees it half written, and that takes the name with a call that
// fails when the name exists, so that two writers never share a name.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform {

enum class NameResult {
  kNamed,   // the file now has the name
  kExists,  // something (file, folder, symbolic link) already has the name; nothing changed
  kFailed,  // the name could not be given for another reason
};

class PendingFile {
 public:
  PendingFile() = default;
  // A file that never got a name disappears with the object.
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file in `folder`: without any name where the file system allows it, else
  // under a hidden temporary name that no picture scan lists. False when the folder cannot
  // be opened or written.
  bool Create(const std::string& folder);
  // Like Create, but always under a temporary name: the way taken on file systems without
  // unnamed files.
  bool CreateWithTemporaryName(const std::string& folder);

  // Appends all of `bytes`; false on any error or when the file takes fewer bytes. A file
  // written in many pieces starts going to the disk while it is written, so that Sync has
  // little left to do.
  bool Write(std::string_view bytes);
  // Flushes the contents to the disk, so that a crash after the naming cannot leave the
  // name on an empty or partial file. Write errors that the file system reports late
  // (delayed allocation, network file systems) surface here.
  bool Sync();

  // Gives the file `name`, a single path component, in the folder. An existing entry of that
  // name is never followed or replaced, even when it is a symbolic link. REQUIRES: Create
  // succeeded and no earlier Name returned kNamed.
  NameResult Name(const std::string& name);

 private:
  void CloseAll();

  int folder_fd_ = -1;
  int fd_ = -1;
  std::string temporary_name_;  // empty for an unnamed file
  off_t written_ = 0;           // bytes written so far
  off_t flushed_ = 0;           // bytes before this are on their way to the disk
  bool named_ = false;
};

}  // namespace platform
