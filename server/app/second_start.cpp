#include "server/app/second_start.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The configuration file as the absolute path it resolves to, so that two names of one file
// compare equal; "" for the defaults.
std::string ServedFile(const ServerSettings& settings) {
  if (settings.config_path.empty()) return {};
  std::unique_ptr<char, decltype(&std::free)> real(realpath(settings.config_path.c_str(), nullptr),
                                                   &std::free);
  return real ? std::string(real.get()) : settings.config_path;
}

std::string Described(const std::string& file) {
  return file.empty() ? "its defaults (no configuration file)" : file;
}

}  // namespace

void RecordServedConfiguration(const ServerSettings& settings, platform::InstanceLock* lock) {
  lock->Record(ServedFile(settings));
}

int AnswerSecondStart(const std::string& instance, const ServerSettings& settings) {
  const std::string own = ServedFile(settings);
  std::string running;
  if (!platform::InstanceLock::ReadRecord(instance, &running) || running == own) {
    std::fprintf(stderr, "%s is already running; nothing more to do.\n", instance.c_str());
    return 0;
  }
  std::fprintf(stderr,
               "%s is already running with %s, not with %s, which is not applied.\n"
               "To serve %s, stop the running server (Ctrl-C in its console, 終了(X) in its tray "
               "menu, or systemctl stop '%s.service') and start this one again.\n",
               instance.c_str(), Described(running).c_str(), Described(own).c_str(),
               Described(own).c_str(), instance.c_str());
  return 1;
}
