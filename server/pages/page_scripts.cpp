#include "server/pages/page_scripts.h"

#include <string>
#include <string_view>

#include "server/pages/embedded_resources.h"
#include "server/pages/page_common.h"

// The scripts live in resources/. The key names in their case comments are Japanese; the
// scripts are converted to Shift-JIS once, as the pages are, since a browser reads a script
// without a charset in the encoding of the page that loads it.

namespace {

// A move script with the lines that track a one-finger swipe put in at its marker line.
std::string WithSwipeTracking(std::string_view script) {
  const ScriptAroundMarker parts = SplitAtMarker(script, "{{SwipeTracking.js}}\r\n");
  return std::string(parts.before) + std::string(embedded::SwipeTrackingJs()) +
         std::string(parts.after);
}

}  // namespace

const std::string& ImagePageScript() {
  static const std::string script = ShiftJisPage(embedded::ImagePageJs());
  return script;
}

const std::string& ImagePageMoveScript() {
  static const std::string script = ShiftJisPage(WithSwipeTracking(embedded::ImagePageMoveJs()));
  return script;
}

const std::string& ImageThumbnailPageMoveByKeyScript() {
  static const std::string script = ShiftJisPage(embedded::ImageThumbnailPageMoveByKeyJs());
  return script;
}

const std::string& ImageThumbnailPageMoveByTouchScript() {
  static const std::string script =
      ShiftJisPage(WithSwipeTracking(embedded::ImageThumbnailPageMoveByTouchJs()));
  return script;
}
