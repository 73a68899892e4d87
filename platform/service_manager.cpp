#include "platform/service_manager.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace platform {

namespace {

const char* const kUsualUnitFolders[] = {
    "/etc/systemd/system",     "/run/systemd/system", "/usr/local/lib/systemd/system",
    "/usr/lib/systemd/system", "/lib/systemd/system",
};

}  // namespace

bool StartedByServiceManager() {
  const char* id = std::getenv("INVOCATION_ID");
  return id != nullptr && *id != '\0';
}

std::vector<std::string> UnitFolders() {
  std::vector<std::string> folders;
  const char* path = std::getenv("SYSTEMD_UNIT_PATH");
  std::string text = path != nullptr ? path : "";
  bool usual = path == nullptr;
  size_t start = 0;
  while (path != nullptr && start <= text.size()) {
    size_t end = text.find(':', start);
    if (end == std::string::npos) end = text.size();
    if (end == start) {
      usual = true;
    } else {
      folders.push_back(text.substr(start, end - start));
    }
    start = end + 1;
  }
  if (usual)
    folders.insert(folders.end(), std::begin(kUsualUnitFolders), std::end(kUsualUnitFolders));
  return folders;
}

bool UnitInstalled(const std::vector<std::string>& folders, const std::string& unit) {
  for (const std::string& folder : folders) {
    struct stat status;
    if (stat((folder + "/" + unit).c_str(), &status) == 0) return true;
  }
  return false;
}

void NotifyServiceManager(const std::string& state) {
  sd_notify(0, state.c_str());
}

}  // namespace platform
