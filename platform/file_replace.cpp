#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/folder_listing.h"
#include "platform/random.h"
#include "platform/text.h"
#include "platform/write_all.h"

namespace platform {
namespace {

// A temporary file's name is the target's name, "." and eight upper-case hexadecimal digits,
// then this suffix.
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kTemporaryDigits = 8;

// Whether `name` is that of a temporary file of the target named `target_name`.
bool IsTemporaryOf(std::string_view name, std::string_view target_name) {
  const size_t length = target_name.size() + 1 + kTemporaryDigits + kTemporarySuffix.size();
  if (name.size() != length || !name.starts_with(target_name) || !name.ends_with(kTemporarySuffix))
    return false;
  std::string_view digits = name.substr(target_name.size());
  if (digits.front() != '.') return false;
  digits = digits.substr(1, kTemporaryDigits);
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// Creates a file that did not exist before, named after `path` with a random suffix.
int CreateTemporaryBeside(const std::string& path, int mode, std::string* temporary) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08X%s", platform::SecureRandom32(),
                  kTemporarySuffix.data());
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

int RemoveUnfinishedReplacements(const std::string& path) {
  const std::string folder = FolderOf(path);
  const size_t slash = path.rfind('/');
  const std::string_view target_name = slash == std::string::npos
                                           ? std::string_view(path)
                                           : std::string_view(path).substr(slash + 1);
  std::vector<std::string> leftovers;
  FolderReader reader;
  if (!reader.Open(folder)) return 0;
  FolderEntry entry;
  while (reader.Next(&entry)) {
    if (entry.is_regular && IsTemporaryOf(entry.name, target_name))
      leftovers.push_back(folder + "/" + std::string(entry.name));
  }
  int removed = 0;
  for (const std::string& leftover : leftovers) removed += ::unlink(leftover.c_str()) == 0;
  return removed;
}

}  // namespace platform
