#include "platform/open_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::shared_ptr<const OpenFile> OpenFile::Open(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer; the type is checked next.
  // For a regular file the flag changes nothing: its reads never block on it.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::shared_ptr<const OpenFile>(new OpenFile(fd, static_cast<uint64_t>(status.st_size)));
}

void OpenFile::ReadAhead() const {
  posix_fadvise(fd_, 0, 0, POSIX_FADV_WILLNEED);
}

long OpenFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  ssize_t count;
  do {
    count = pread(fd_, buffer, size, static_cast<off_t>(offset));
  } while (count < 0 && errno == EINTR);
  return static_cast<long>(count);
}

OpenFile::~OpenFile() {
  close(fd_);
}

}  // namespace platform
