#include "platform/process_identity.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

UserIdentity FromAccount(const passwd& account) {
  return UserIdentity{account.pw_uid, account.pw_gid, account.pw_name,
                      account.pw_dir != nullptr ? account.pw_dir : ""};
}

// getpwnam_r and getpwuid_r want a buffer; the system's suggestion, grown when too small.
template <typename Lookup>
bool LookUpAccount(Lookup lookup, UserIdentity* out) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 4096);
  for (;;) {
    passwd account{};
    passwd* found = nullptr;
    const int error = lookup(&account, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) return false;
    *out = FromAccount(account);
    return true;
  }
}

// The last capability the kernel knows, from the bounding set itself: dropping past it fails.
int LastCapability() {
  int last = CAP_LAST_CAP;
  while (prctl(PR_CAPBSET_READ, last + 1, 0, 0, 0) >= 0) ++last;
  return last;
}

}  // namespace

bool RunningAsRoot() {
  return geteuid() == 0;
}

bool FindUser(const std::string& name, UserIdentity* out) {
  return LookUpAccount(
      [&](passwd* account, char* buffer, size_t size, passwd** found) {
        return getpwnam_r(name.c_str(), account, buffer, size, found);
      },
      out);
}

UserIdentity UserOfId(uint32_t uid, uint32_t gid) {
  UserIdentity user{uid, gid, "", ""};
  LookUpAccount([&](passwd* account, char* buffer, size_t size,
                    passwd** found) { return getpwuid_r(uid, account, buffer, size, found); },
                &user);
  return user;
}

bool OwnerOf(const std::string& path, uint32_t* uid, uint32_t* gid) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return false;
  *uid = status.st_uid;
  *gid = status.st_gid;
  return true;
}

int KeepOnlyIdentityChange() {
  int first_error = 0;
  auto note = [&first_error](bool ok) {
    if (!ok && first_error == 0) first_error = errno;
  };
  note(prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0);
  // Emptying the bounding set needs CAP_SETPCAP, which the permitted set still holds here.
  const int last = LastCapability();
  for (int capability = 0; capability <= last; ++capability) {
    note(prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) == 0);
  }
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  for (int capability : {CAP_SETUID, CAP_SETGID, CAP_NET_BIND_SERVICE}) {
    const uint32_t bit = 1u << (capability % 32);
    data[capability / 32].permitted |= bit;
    data[capability / 32].effective |= bit;
  }
  note(syscall(SYS_capset, &header, data) == 0);
  return first_error;
}

int TakeIdentity(const UserIdentity& user) {
  // glibc applies each of these to every thread of the process, not only the caller.
  const int groups =
      user.name.empty() ? setgroups(0, nullptr) : initgroups(user.name.c_str(), user.gid);
  if (groups != 0) return errno;
  if (setresgid(user.gid, user.gid, user.gid) != 0) return errno;
  if (setresuid(user.uid, user.uid, user.uid) != 0) return errno;
  uid_t real = 0, effective = 0, saved = 0;
  if (getresuid(&real, &effective, &saved) != 0 || real != user.uid || effective != user.uid ||
      saved != user.uid) {
    return EPERM;
  }
  // A process that could become root again would not have given anything up.
  if (user.uid != 0 && setuid(0) == 0) return EPERM;
  // Leaving uid 0 has cleared them already; a process that stays root gives them up here.
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capset, &header, none) != 0) return errno;
  return 0;
}

}  // namespace platform
