#include "platform/graphical_session.h"

#include <cstdlib>

namespace platform {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool HasGraphicalSession() {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

void PreferQtPlatformWithFallback() {
  if (std::getenv("QT_QPA_PLATFORM") != nullptr) return;
  setenv("QT_QPA_PLATFORM", IsSet("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen",
         1);
}

}  // namespace platform
