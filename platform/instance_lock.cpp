#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace platform {

namespace {

// A folder that is the user's own: a directory, not a link, owned by the user.
bool IsOwnFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// Where the records of this user's locks live; empty when no such folder can be had.
std::string RecordFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime == '/' && IsOwnFolder(runtime)) {
    return runtime;
  }
  const std::string uid = std::to_string(geteuid());
  if (IsOwnFolder("/run/user/" + uid)) return "/run/user/" + uid;
  // Anyone may make a name in /tmp: the folder counts only if it is ours and private.
  const std::string folder = "/tmp/lumenvale-" + uid;
  mkdir(folder.c_str(), 0700);
  struct stat st;
  if (!IsOwnFolder(folder) || lstat(folder.c_str(), &st) != 0 || (st.st_mode & 077) != 0) {
    return {};
  }
  return folder;
}

std::string RecordPath(const std::string& name) {
  const std::string folder = RecordFolder();
  return folder.empty() ? folder : folder + "/" + name + ".instance";
}

}  // namespace

InstanceLock::~InstanceLock() {
  if (!record_path_.empty()) unlink(record_path_.c_str());
  if (fd_ >= 0) close(fd_);
}

void InstanceLock::Record(const std::string& text) {
  // Written whole under another name and renamed, so a reader never sees half of it.
  if (name_.empty()) return;  // no lock is held: the socket could not be made
  const std::string path = RecordPath(name_);
  if (path.empty()) return;
  const std::string temporary = path + "." + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << getpid() << "\n" << text;
    if (!out.flush()) {
      unlink(temporary.c_str());
      return;
    }
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return;
  }
  record_path_ = path;
}

bool InstanceLock::ReadRecord(const std::string& name, std::string* text) {
  const std::string path = RecordPath(name);
  if (path.empty()) return false;
  std::ifstream in(path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t line_end = content.find('\n');
  if (line_end == std::string::npos) return false;
  const pid_t pid = static_cast<pid_t>(std::atol(content.substr(0, line_end).c_str()));
  // A record left by a server that crashed names a process that is gone (or this one).
  if (pid <= 0 || pid == getpid() || (kill(pid, 0) != 0 && errno != EPERM)) return false;
  *text = content.substr(line_end + 1);
  return true;
}

bool InstanceLock::Acquire(const std::string& name) {
  if (fd_ >= 0) return true;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  // An abstract address starts with a zero byte and is not a file.
  size_t length = std::min(name.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, name.data(), length);
  socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
    int error = errno;
    close(fd);
    return error != EADDRINUSE;
  }
  fd_ = fd;
  name_ = name;
  return true;
}

}  // namespace platform
