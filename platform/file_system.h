// Reading files and asking about them, in the few shapes the catalogue needs: the status of a
// path, a whole file in one piece, and positioned reads from a file held open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct FileStatus {
  bool is_regular = false;
  bool is_directory = false;
  uint64_t size = 0;
  int64_t mtime_sec = 0;   // last write, seconds since 1970-01-01 UTC
  int64_t mtime_nsec = 0;  // and the nanoseconds within that second
  uint64_t inode = 0;      // a file replaced by a rename has another
};

// Follows symbolic links. False when the path does not exist or cannot be examined.
bool StatPath(const std::string& path, FileStatus* out);

// Reads a whole regular file. Fails, without allocating, when the file is larger than
// `max_size`. A file that shrinks while being read yields the bytes that were read.
// `out` is replaced only on success.
bool ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* out);

// Reads at most `length` bytes at `offset` of the open file `fd` (as OpenFile::handle gives it);
// returns how many were read, 0 at the end of the file or on an error.
size_t ReadOpenFileAt(int fd, uint64_t offset, size_t length, void* out);

// A regular file open for positioned reads; reads from several threads at once are safe.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False when the path cannot be opened or is not a regular file.
  bool Open(const std::string& path);
  // The size the file had when it was opened.
  uint64_t size() const { return size_; }
  // Reads exactly `length` bytes at `offset`; false when fewer are there.
  bool ReadAt(uint64_t offset, size_t length, void* out) const;
  // Reads at most `length` bytes at `offset`; returns how many were read.
  size_t ReadUpTo(uint64_t offset, size_t length, void* out) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace platform
