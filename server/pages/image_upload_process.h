// "/Uploader": the page through which users add pictures. Its script sends the chosen or
// dropped files to /upload.php in batches and shows the progress and the outcome.
#pragma once

#include <string>
#include <string_view>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class CImageUploadProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CImageUploadProcess(const ServerSettings& settings) : settings_(settings) {}

  std::string GetPath() override { return "/Uploader"; }
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
};

// The complete response: the uploader page in Shift-JIS, titled after `settings.title`.
Response UploaderPageResponse(const ServerSettings& settings, std::string_view nonce);
