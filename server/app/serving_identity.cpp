#include "server/app/serving_identity.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/capabilities.h"
#include "platform/process_identity.h"

namespace {

// The user an administrator expects a service to fall back to; its usual ids where the
// user database has no entry.
constexpr char kFallbackUser[] = "nobody";
constexpr uint32_t kFallbackId = 65534;

// Set at most once, by ChooseServingIdentity on the main thread before the server starts.
std::optional<platform::UserIdentity> chosen;

}  // namespace

void LockDownForIdentityChange() {
  if (platform::RunningAsRoot()) {
    platform::KeepOnlyIdentityChange();
  } else {
    platform::DropCapabilities(platform::ServerDroppedCapabilities());
  }
}

bool ChooseServingIdentity(const std::string& named_user, const std::string& config_path) {
  if (!platform::RunningAsRoot()) return true;
  platform::UserIdentity user;
  uint32_t owner = 0, group = 0;
  if (!named_user.empty()) {
    if (!platform::FindUser(named_user, &user)) {
      std::fprintf(stderr, "There is no user %s to serve as. Nothing is served.\n",
                   named_user.c_str());
      return false;
    }
  } else if (!config_path.empty() && platform::OwnerOf(config_path, &owner, &group) && owner != 0) {
    user = platform::UserOfId(owner, group);
  } else if (!platform::FindUser(kFallbackUser, &user)) {
    user = platform::UserIdentity{kFallbackId, kFallbackId, "", ""};
  }
  // The user's own folders (the thumbnail cache under ~/.cache) rather than root's, which it
  // could not write; an XDG_CACHE_HOME given at start is kept. Before the server is made, as
  // its stores take their folders then.
  if (user.uid != 0 && !user.home.empty()) setenv("HOME", user.home.c_str(), 1);
  chosen = user;
  return true;
}

void TakeServingIdentity() {
  if (!chosen) return;
  const int error = platform::TakeIdentity(*chosen);
  const std::string who =
      chosen->name.empty() ? "user id " + std::to_string(chosen->uid) : chosen->name;
  if (error != 0) {
    std::fprintf(stderr, "Could not take the identity of %s (%s). Nothing is served.\n",
                 who.c_str(), std::strerror(error));
    std::exit(1);
  }
  // Root named on purpose is not announced: it was asked for.
  if (chosen->uid != 0) {
    std::fprintf(stderr, "Started as root: serving as %s (uid %u, gid %u), without privileges.\n",
                 who.c_str(), chosen->uid, chosen->gid);
  }
  chosen.reset();
}
