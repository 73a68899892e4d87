// Whether a program may open windows, and how a Qt program falls back when it may not.
#pragma once

namespace platform {

// True when this process has a graphical session to open windows or a tray icon in
// (DISPLAY or WAYLAND_DISPLAY is set and not empty).
bool HasGraphicalSession();

// Sets QT_QPA_PLATFORM, unless the user has set it, to the Qt platform plug-ins to try in
// turn: the session's own, then "offscreen". A display that cannot be reached then ends in
// the offscreen plug-in, which the program can recognise, instead of aborting the process.
void PreferQtPlatformWithFallback();

}  // namespace platform
