// "/": a page that sends the browser straight on to the first thumbnail page.
#pragma once

#include <string>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class CHomePageProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CHomePageProcess(const ServerSettings& settings) : settings_(settings) {}

  std::string GetPath() override { return "/"; }
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
};

// The complete response: the redirect page in Shift-JIS, to page 0 of the folder-first-by-name
// order when `settings.top_folder` is 1, else of the date order.
Response HomePageResponse(const ServerSettings& settings, const std::string& nonce);
