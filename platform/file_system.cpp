#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

void FillStatus(const struct stat& st, FileStatus* out) {
  out->is_regular = S_ISREG(st.st_mode);
  out->is_directory = S_ISDIR(st.st_mode);
  out->size = static_cast<uint64_t>(st.st_size);
  out->mtime_sec = st.st_mtim.tv_sec;
  out->mtime_nsec = st.st_mtim.tv_nsec;
  out->inode = static_cast<uint64_t>(st.st_ino);
}

// Reads up to `length` bytes at `offset`, retrying short reads; returns the count read.
size_t PreadFully(int fd, uint64_t offset, size_t length, uint8_t* out) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace

size_t ReadOpenFileAt(int fd, uint64_t offset, size_t length, void* out) {
  return PreadFully(fd, offset, length, static_cast<uint8_t*>(out));
}

bool StatPath(const std::string& path, FileStatus* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  FillStatus(st, out);
  return true;
}

bool ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* out) {
  ReadOnlyFile file;
  if (!file.Open(path) || file.size() > max_size) return false;
  std::vector<uint8_t> bytes(file.size());
  // A file that shrank since it was opened yields what is still there.
  bytes.resize(file.ReadUpTo(0, bytes.size(), bytes.data()));
  *out = std::move(bytes);
  return true;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

bool ReadOnlyFile::Open(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer; the type is checked next.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

bool ReadOnlyFile::ReadAt(uint64_t offset, size_t length, void* out) const {
  return ReadUpTo(offset, length, out) == length;
}

size_t ReadOnlyFile::ReadUpTo(uint64_t offset, size_t length, void* out) const {
  if (fd_ < 0) return 0;
  return PreadFully(fd_, offset, length, static_cast<uint8_t*>(out));
}

}  // namespace platform
