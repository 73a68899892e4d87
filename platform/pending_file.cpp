#include "platform/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/random.h"
#include "platform/write_all.h"

namespace platform {
namespace {

constexpr mode_t kNewFileMode = 0666;  // less the process umask, as for any new file
constexpr int kTemporaryNameTries = 16;
// How much of a file is written before its write-back to the disk is started.
constexpr off_t kWritebackBytes = 8 * 1024 * 1024;

bool IsSingleComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

PendingFile::~PendingFile() {
  CloseAll();
}

void PendingFile::CloseAll() {
  if (fd_ >= 0) ::close(fd_);
  if (!named_ && !temporary_name_.empty()) ::unlinkat(folder_fd_, temporary_name_.c_str(), 0);
  if (folder_fd_ >= 0) ::close(folder_fd_);
  fd_ = folder_fd_ = -1;
  temporary_name_.clear();
  named_ = false;
  written_ = flushed_ = 0;
}

bool PendingFile::Create(const std::string& folder) {
  CloseAll();
  folder_fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd_ < 0) return false;
  fd_ = ::openat(folder_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode);
  if (fd_ >= 0) return true;
  // Older kernels answer EISDIR, file systems without unnamed files EOPNOTSUPP.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    return CreateWithTemporaryName(folder);
  }
  CloseAll();
  return false;
}

bool PendingFile::CreateWithTemporaryName(const std::string& folder) {
  CloseAll();
  folder_fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd_ < 0) return false;
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".lumenvale-%08X.part", SecureRandom32());
    fd_ = ::openat(folder_fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   kNewFileMode);
    if (fd_ >= 0) {
      temporary_name_ = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  CloseAll();
  return false;
}

bool PendingFile::Write(std::string_view bytes) {
  if (fd_ < 0 || !WriteAll(fd_, bytes)) return false;
  written_ += static_cast<off_t>(bytes.size());
  if (written_ - flushed_ >= kWritebackBytes) {
    // Only starts the write-back of what is written so far; it does not wait for it.
    ::sync_file_range(fd_, flushed_, written_ - flushed_, SYNC_FILE_RANGE_WRITE);
    flushed_ = written_;
  }
  return true;
}

bool PendingFile::Sync() {
  return fd_ >= 0 && ::fsync(fd_) == 0;
}

NameResult PendingFile::Name(const std::string& name) {
  if (fd_ < 0 || named_ || !IsSingleComponent(name)) return NameResult::kFailed;
  int linked;
  if (temporary_name_.empty()) {
    // An unnamed file is linked through its /proc entry: linkat with AT_EMPTY_PATH would need
    // a capability the server does not keep.
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    linked = ::linkat(AT_FDCWD, self.c_str(), folder_fd_, name.c_str(), AT_SYMLINK_FOLLOW);
  } else {
    linked = ::linkat(folder_fd_, temporary_name_.c_str(), folder_fd_, name.c_str(), 0);
  }
  if (linked != 0) return errno == EEXIST ? NameResult::kExists : NameResult::kFailed;
  named_ = true;
  if (!temporary_name_.empty()) ::unlinkat(folder_fd_, temporary_name_.c_str(), 0);
  // Makes the new name itself durable; a folder that cannot be synced does not undo it.
  ::fsync(folder_fd_);
  return NameResult::kNamed;
}

}  // namespace platform
