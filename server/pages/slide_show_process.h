// "/slideshow": a full-window page that shows the images of one order and search in random
// sequence; the sequencing runs in the browser, which asks "/next_url" for the image count.
#pragma once

#include <string>
#include <string_view>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class CSlideShowProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CSlideShowProcess(const ServerSettings& settings) : settings_(settings) {}

  std::string GetPath() override { return "/slideshow"; }
  // Always answers; 1. A request without a usable image key (the tray menu's and the start
  // line's bare "/slideshow") is sent to the show of all pictures by name.
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
};

// The complete response: the page in Shift-JIS, whose links carry the request's parameters.
Response SlideShowResponse(const ServerSettings& settings, const s_request& request,
                           const std::string& nonce);

// The key that starts the show of all pictures: the name order, whose count "/next_url" also
// gives for a request without a usable key.
inline constexpr std::string_view kAllPicturesKey = "1-N-0";

// 302 to "/slideshow" with `request`'s parameters and the page key kAllPicturesKey.
Response AllPicturesRedirect(const s_request& request, std::string_view nonce);
