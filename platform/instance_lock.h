// A name that one process at a time can hold, to keep a program from running twice.
#pragma once

#include <string>

namespace platform {

// Held as an abstract Unix socket address: the kernel releases it when the process ends,
// however it ends, so a crashed server never leaves a stale lock behind. The names are
// shared by every process in the same network namespace, as the TCP ports are.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False when another process holds `name`. Any other failure (no socket could be made)
  // counts as success: the lock only spares a second server from failing on its port.
  bool Acquire(const std::string& name);

  // Leaves `text` where a second start of the same user finds it (ReadRecord), until the lock
  // is released. The record lives in a folder of the user's own: $XDG_RUNTIME_DIR, else
  // /run/user/UID, else /tmp/lumenvale-UID (made private to the user). Failures are ignored:
  // a record only helps a second start explain itself. REQUIRES: Acquire succeeded.
  void Record(const std::string& text);

  // The text that the holder of `name` recorded. False when there is none that a live process
  // of another id left (another user's holder, or one that has not recorded yet, leaves none).
  static bool ReadRecord(const std::string& name, std::string* text);

 private:
  int fd_ = -1;
  std::string name_;
  std::string record_path_;  // the record this lock left, empty when none
};

}  // namespace platform
