// "/Uploader": the page through which users add pictures. Its script sends the chosen or
// dropped files to /upload.php in batches and shows the progress and each file's own result
// (saved under which name, or refused or failed and why); a link leads back to the gallery.
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

// The page's script (resources/Uploader.js) with the largest file a post can carry filled in;
// bigger files are not sent but shown refused for their size. UTF-8.
std::string UploaderScript();

// The complete response: the uploader page in Shift-JIS, titled after `settings.title`.
Response UploaderPageResponse(const ServerSettings& settings, std::string_view nonce);
