// A regular file held open for reading, so that its bytes can be sent from the page cache
// while the holders keep it; closed when the last holder lets go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class OpenFile {
 public:
  // The regular file at `path`, opened; nullptr when it cannot be opened or is not a
  // regular file.
  static std::shared_ptr<const OpenFile> Open(const std::string& path);

  ~OpenFile();
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  int handle() const { return fd_; }
  // The size when it was opened.
  uint64_t size() const { return size_; }
  // Asks the kernel to bring the file into its page cache in the background, so that a
  // send of it soon after does not wait for the disk.
  void ReadAhead() const;
  // Reads up to `size` bytes from `offset` into `buffer`; the count read, 0 at the end, -1 on
  // an error. For a transport that frames a file's bytes itself instead of sending it whole.
  long ReadAt(uint64_t offset, void* buffer, size_t size) const;

 private:
  OpenFile(int fd, uint64_t size) : fd_(fd), size_(size) {}

  int fd_;
  uint64_t size_;
};

}  // namespace platform
