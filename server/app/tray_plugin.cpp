#include "server/app/tray_plugin.h"

#include <cstdio>
#include <memory>

#include "platform/graphical_session.h"
#include "platform/loadable_module.h"
#include "platform/open_url.h"
#include "platform/stop_signal.h"
#include "server/app/console_mode.h"
#include "server/app/lumenvale_server.h"
#include "server/app/tray_host.h"
#include "server/app/tray_menu.h"

namespace {

// The server as the tray sees it. The server is made at the start, once the tray is known to
// be there.
class ServerTrayHost : public TrayHost {
 public:
  explicit ServerTrayHost(const ServerSettings& settings) : settings_(settings) {}

  bool Start() override {
    server_ = std::make_unique<LumenvaleServer>(settings_);
    return StartAndAnnounce(*server_, settings_);
  }
  // The tray's events are handled between turns: a turn never waits long.
  void Step() override { server_->Step(LumenvaleServer::kBusyWaitMs); }
  void Stop() override { StopAndAnnounce(*server_); }
  bool StopRequested() override { return platform::StopSignalled(); }
  std::string BaseAddress() override { return server_->BaseAddress(); }
  std::string PublicBaseAddress() override { return server_->PublicBaseAddress(); }
  std::string Tooltip() override { return TrayTooltip(settings_.title, settings_.port); }
  void Open(const std::string& url) override { platform::OpenUrl(url); }

 private:
  const ServerSettings& settings_;
  std::unique_ptr<LumenvaleServer> server_;
};

}  // namespace

bool RunTrayPlugin(const ServerSettings& settings, int argc, char** argv, int* exit_status) {
  std::string path = platform::ExecutableFolder() + "/" + kTrayPluginPath;
  std::string error;
  auto entry =
      reinterpret_cast<TrayEntry>(platform::LoadModuleFunction(path, kTrayEntryName, &error));
  if (entry == nullptr) {
    std::fprintf(stderr,
                 "No tray icon (%s); serving in the console. The tray comes with the package "
                 "lumenvale-tray.\n",
                 error.c_str());
    return false;
  }
  platform::CatchStopSignals();
  platform::PreferQtPlatformWithFallback();
  ServerTrayHost host(settings);
  int status = entry(&host, argc, argv);
  if (status == kNoTray) return false;
  *exit_status = status;
  return true;
}
