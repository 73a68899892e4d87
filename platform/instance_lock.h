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

 private:
  int fd_ = -1;
};

}  // namespace platform
