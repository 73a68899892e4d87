// Folders that belong to the user's desktop session.
#pragma once

#include <string>

namespace platform {

// The user's pictures folder: XDG_PICTURES_DIR from ~/.config/user-dirs.dirs
// (honouring XDG_CONFIG_HOME), else $HOME/Pictures.
std::string PicturesFolder();

// The user's folder for caches that may be deleted at any time: XDG_CACHE_HOME when it is an
// absolute path, else $HOME/.cache.
std::string CacheFolder();

// The user's folder for data a program keeps: XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share.
std::string DataFolder();

}  // namespace platform
