// The tray plug-in's only exported function (see tray_host.h).
#include "server/app/tray_host.h"
#include "server/app/tray_mode.h"

extern "C" __attribute__((visibility("default"))) int LumenvaleRunTray(TrayHost* host, int argc,
                                                                       char** argv) {
  return RunTray(host, argc, argv);
}
