// The meeting point of the server and its tray plug-in. The plug-in (lumenvale-tray.so, the
// only part of the server that links Qt) is loaded only in a graphical session; it reaches the
// server only through a TrayHost, so it links nothing of the server either.
#pragma once

#include <string>

// What the tray asks of the server process that loaded it. All calls come from the thread
// that called the plug-in's entry point.
class TrayHost {
 public:
  virtual ~TrayHost() = default;

  // Starts the server and says where it can be reached; false when it cannot listen.
  virtual bool Start() = 0;
  // One turn of the server's loop; it waits a few milliseconds at most when idle.
  virtual void Step() = 0;
  // Stops the server (once, after a successful Start).
  virtual void Stop() = 0;
  // True once SIGINT, SIGTERM or SIGHUP asked the process to stop.
  virtual bool StopRequested() = 0;
  // Where the menu's pages are opened: "http://" + address + ":" + port.
  virtual std::string BaseAddress() = 0;
  // The same from the Internet, "scheme://public address:port", once the gateway mapped the
  // port; "" before that and without UPnP.
  virtual std::string PublicBaseAddress() = 0;
  // The icon's tooltip.
  virtual std::string Tooltip() = 0;
  // Shows `url` in the user's browser.
  virtual void Open(const std::string& url) = 0;
};

// The plug-in's entry point, exported unmangled under kTrayEntryName. Shows the icon and
// serves until the menu's exit or a stop request, and returns the exit status (1 when the
// server could not listen); returns kNoTray, having started nothing, when the session has no
// system tray (the server then serves in the console).
using TrayEntry = int (*)(TrayHost* host, int argc, char** argv);
inline constexpr char kTrayEntryName[] = "LumenvaleRunTray";
inline constexpr int kNoTray = -1;
