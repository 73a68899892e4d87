#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/random.h"
#include "platform/text.h"
#include "platform/write_all.h"

namespace platform {
namespace {

// Creates a file that did not exist before, named after `path` with a random suffix.
int CreateTemporaryBeside(const std::string& path, int mode, std::string* temporary) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08X.tmp", platform::SecureRandom32());
    *temporary = path + suffix;
    int fd = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the rename itself durable; a folder that cannot be synced does not undo the write.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

namespace {

// `mode` < 0: keep the old file's permission bits, a new file gets 0666 less the umask.
bool Replace(const std::string& path, std::string_view bytes, int mode) {
  std::string temporary;
  int fd = CreateTemporaryBeside(path, mode < 0 ? 0666 : mode, &temporary);
  if (fd < 0) return false;
  struct stat old_file;
  bool ok = WriteAll(fd, bytes);
  if (ok && mode >= 0) {
    ok = ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
  } else if (ok && ::stat(path.c_str(), &old_file) == 0) {
    ok = ::fchmod(fd, old_file.st_mode & 07777) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  return Replace(path, bytes, -1);
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, int mode) {
  return Replace(path, bytes, mode);
}

}  // namespace platform
