// "/slideshow": a full-window page that shows the images of one order and search in random
// sequence; the sequencing runs in the browser, which asks "/next_url" for the image count.
#pragma once

#include <string>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class CSlideShowProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CSlideShowProcess(const ServerSettings& settings) : settings_(settings) {}

  std::string GetPath() override { return "/slideshow"; }
  // Always answers with the page; 1.
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
};

// The complete response: the page in Shift-JIS, whose links carry the request's parameters.
Response SlideShowResponse(const ServerSettings& settings, const s_request& request,
                           const std::string& nonce);
