// The Lumenvale server: `lumenvale [CONFIG]` (or --help, --version). Serves with a tray icon
// in a graphical session, else in the console until SIGINT or SIGTERM; while the unit of its
// instance name is installed, only as that service, started by systemd.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/config/server_settings.h"
#include "platform/free_memory.h"
#include "platform/graphical_session.h"
#include "platform/instance_lock.h"
#include "platform/service_manager.h"
#include "server/app/command_line.h"
#include "server/app/console_mode.h"
#include "server/app/second_start.h"
#include "server/app/service_mode.h"
#include "server/app/serving_identity.h"
#include "server/app/startup_config.h"
#include "server/app/tray_plugin.h"

namespace {

// The configuration path as one command-line text: the arguments joined by blanks, so a
// quoted path keeps its quotes' meaning and an unquoted one with blanks stays whole.
std::string CommandLine(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int exit_status = 0;
  if (AnswerHelpOrVersion(argc, argv, &exit_status)) return exit_status;
  platform::LimitRetainedMemory();
  // Before anything reads a file or starts a thread: started as root, the server keeps only
  // what taking an unprivileged identity after binding its port needs.
  LockDownForIdentityChange();

  ServerSettings settings;
  if (!LoadStartupSettings(CommandLine(argc, argv), &settings)) return 1;
  const char* serving_user = std::getenv(kServingUserVariable);
  if (!ChooseServingIdentity(serving_user != nullptr ? serving_user : "", settings.config_path)) {
    return 1;
  }

  // One server per port. Port 0 lets the system choose a free port each time, so such
  // servers never compete for one and take no lock.
  std::string instance = InstanceName(settings.port);
  platform::InstanceLock lock;
  if (settings.port != 0 && !lock.Acquire(instance)) return AnswerSecondStart(instance, settings);
  RecordServedConfiguration(settings, &lock);

  std::string unit = instance + ".service";
  bool service = platform::UnitInstalled(platform::UnitFolders(), unit);
  if (service && !platform::StartedByServiceManager()) {
    std::fprintf(stderr,
                 "%s is installed as the systemd service %s; start it with: systemctl start "
                 "'%s'\n",
                 instance.c_str(), unit.c_str(), unit.c_str());
    return 0;
  }

  // The service of the instance's name shows no icon. Under any other unit (a desktop's
  // autostart, a unit of the user's own) the tray and the console loop tell systemd how the
  // server is doing as well.
  if (!service && platform::HasGraphicalSession() &&
      RunTrayPlugin(settings, argc, argv, &exit_status)) {
    return exit_status;
  }
  return RunConsole(settings);
}
