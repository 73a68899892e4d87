// Test helper: a small tmpfs over a folder, in a mount namespace of the test's process alone,
// so that a test can fill a real disk. Needs CAP_SYS_ADMIN (the tests run as root).
#pragma once

#include <sched.h>
#include <sys/mount.h>

#include <string>

// Mounts a tmpfs of `size` (such as "256k") on `folder`; false when not permitted. The mount
// goes with the process (each test runs in a process of its own under CTest).
inline bool MountSmallTmpfs(const std::string& folder, const char* size) {
  const std::string options = std::string("size=") + size;
  return unshare(CLONE_NEWNS) == 0 &&
         mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

inline void UnmountTmpfs(const std::string& folder) {
  umount2(folder.c_str(), MNT_DETACH);
}
