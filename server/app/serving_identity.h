// Started as root, the server serves as an unprivileged user: root is needed at most to bind
// a low port, never to read pictures, and a picture folder may hold links to any file.
//
// The order at start: LockDownForIdentityChange before anything else (it keeps only the
// powers the change needs), the configuration read, then ChooseServingIdentity, and
// TakeServingIdentity once the port is bound, before the first picture, folder or hash list
// file is read.
#pragma once

#include <string>

// Started as root: NoNewPrivs, an empty bounding set and only the capabilities that changing
// identity and binding need. Otherwise it takes the capabilities away that a server never
// needs, should the program have been given any. Before any thread starts.
void LockDownForIdentityChange();

// The environment variable that names the user to serve as; "root" keeps root (without any
// capability), for an administrator who means it.
inline constexpr char kServingUserVariable[] = "LUMENVALE_USER";

// Started as root, decides whom to serve as: the user named by `named_user` when it is not
// empty (from kServingUserVariable), else the owner of the configuration file at
// `config_path` when that is not root (with the account's group, or the file's group when
// the owner has no account), else `nobody`; HOME becomes that user's home folder when it has
// one. Prints why and returns false when the named user is unknown. Does nothing when not
// started as root. REQUIRES: before the server is made.
bool ChooseServingIdentity(const std::string& named_user, const std::string& config_path);

// Takes the identity chosen by ChooseServingIdentity, for every thread, and says so in one
// line on standard error; nothing when none was chosen. When it cannot be taken the process
// exits with status 1 at once: serving as root is never the fallback.
void TakeServingIdentity();
