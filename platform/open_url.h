// Showing an address in the user's browser.
#pragma once

#include <string>

namespace platform {

// Hands `url` to xdg-open, which opens it with the desktop's preferred browser, and returns
// without waiting; false when xdg-open could not be started. What becomes of the address
// afterwards is not reported.
bool OpenUrl(const std::string& url);

}  // namespace platform
