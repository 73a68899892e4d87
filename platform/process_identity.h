// The user a process runs as, and taking another one: how a server started as root goes on
// as an unprivileged user once it has done what needs root.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A user to run as. `name` and `home` are empty for a user id without an account in the user
// database; such a user gets no supplementary groups.
struct UserIdentity {
  uint32_t uid = 0;
  uint32_t gid = 0;
  std::string name;
  std::string home;
};

// Whether the effective user is root.
bool RunningAsRoot();

// The account named `name`; false when there is none.
bool FindUser(const std::string& name, UserIdentity* out);
// The account of `uid`; without one, `uid` with `gid` and no name.
UserIdentity UserOfId(uint32_t uid, uint32_t gid);
// The owner and group of the file at `path` (links followed); false when it cannot be known.
bool OwnerOf(const std::string& path, uint32_t* uid, uint32_t* gid);

// For a process that will take another identity later: sets NoNewPrivs (nothing it runs can
// gain privileges), empties the capability bounding set, and keeps in the permitted and
// effective sets only what changing identity and binding a low port need (CAP_SETUID,
// CAP_SETGID, CAP_NET_BIND_SERVICE). Call it before any other thread starts: threads take
// these sets from the thread that creates them. Returns 0 or the first error number.
int KeepOnlyIdentityChange();

// Takes `user`'s identity for good, in every thread of the process: its supplementary groups
// (the account's, none without an account), its group and its user for the real, effective
// and saved ids, and then no capability in the permitted, effective and inheritable sets
// (for uid 0 too: a process that stays root keeps no power beyond the file permissions of
// root's own files). Returns 0, or the error number of the step that failed; the identity is
// checked (root can no longer be taken back), and a check that fails gives EPERM.
int TakeIdentity(const UserIdentity& user);

}  // namespace platform
