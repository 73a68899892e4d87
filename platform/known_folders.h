// Folders that belong to the user's desktop session.
#pragma once

#include <string>

namespace platform {

// The user's pictures folder: XDG_PICTURES_DIR from ~/.config/user-dirs.dirs
// (honouring XDG_CONFIG_HOME), else $HOME/Pictures.
std::string PicturesFolder();

}  // namespace platform
