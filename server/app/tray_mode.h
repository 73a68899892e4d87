// Running with a tray icon: the server stepped from the Qt event loop, its pages one click
// away in the icon's menu.
#pragma once

#include <functional>
#include <string>

#include "common/config/server_settings.h"

class QMenu;

// True when this process has a graphical session to show an icon in (DISPLAY or
// WAYLAND_DISPLAY is set).
bool HasGraphicalSession();

// Fills `menu` with the tray menu: the page entries, a separator and exit. A page entry
// calls `open` with `base_address()` + its path; exit calls `quit`.
void FillTrayMenu(QMenu* menu, const std::function<std::string()>& base_address,
                  const std::function<void(const std::string&)>& open,
                  const std::function<void()>& quit);

// Shows the icon and serves until its menu's exit, SIGINT or SIGTERM, then sets
// *exit_status (1 when the server could not listen). False, without starting anything, when
// no system tray is available: the caller serves in console mode instead.
bool RunTray(const ServerSettings& settings, int argc, char** argv, int* exit_status);
