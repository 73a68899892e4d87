#include "platform/known_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

// Reads one value of user-dirs.dirs: XDG_PICTURES_DIR="$HOME/Bilder". Only "$HOME/" is
// expanded there, and a value of "$HOME/" alone means the folder is disabled.
bool ReadUserDirsEntry(const std::string& file, const std::string& home, std::string* out) {
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_PICTURES_DIR=";
  bool found = false;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    if (value.size() < 2 || value.front() != '"') continue;
    size_t close = value.find('"', 1);
    if (close == std::string::npos) continue;
    value = value.substr(1, close - 1);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (value.empty() || value.front() != '/') continue;
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    if (value == home) continue;
    *out = value;
    found = true;  // the last assignment wins, as in a shell
  }
  return found;
}

}  // namespace

std::string PicturesFolder() {
  std::string home = HomeFolder();
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else {
    config = home + "/.config";
  }
  std::string folder;
  if (ReadUserDirsEntry(config + "/user-dirs.dirs", home, &folder)) return folder;
  return home == "/" ? "/Pictures" : home + "/Pictures";
}

std::string CacheFolder() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') return xdg;
  std::string home = HomeFolder();
  return home == "/" ? "/.cache" : home + "/.cache";
}

std::string DataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') return xdg;
  std::string home = HomeFolder();
  return home == "/" ? "/.local/share" : home + "/.local/share";
}

}  // namespace platform
