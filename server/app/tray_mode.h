// Running with a tray icon: the server stepped from the Qt event loop, its pages one click
// away in the icon's menu. This is the tray plug-in's code; it reaches the server through a
// TrayHost only.
#pragma once

#include <functional>
#include <string>

#include "server/app/tray_host.h"

class QMenu;

// Fills `menu` with the tray menu: the page entries, the public address while
// `public_address()` gives one (looked at each time the menu opens), a separator and exit. A
// page entry calls `open` with `base_address()` + its path, the public entry with the public
// address; exit calls `quit`.
void FillTrayMenu(QMenu* menu, const std::function<std::string()>& base_address,
                  const std::function<std::string()>& public_address,
                  const std::function<void(const std::string&)>& open,
                  const std::function<void()>& quit);

// Shows the icon and serves until its menu's exit or a stop request, then returns the exit
// status (1 when the server could not listen); kNoTray, without starting anything, when no
// system tray is available.
int RunTray(TrayHost* host, int argc, char** argv);
