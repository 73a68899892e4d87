// "/view": one page of up to 100 thumbnails of an order, optionally narrowed by a search word,
// with links to the other pages and orders, the uploader and a search form.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/request_process.h"

class CImageThumbnailProcess : public CRequestProcess {
 public:
  // `settings`, `catalogue` and `files` must outlive the handler.
  CImageThumbnailProcess(const ServerSettings& settings, ImageCatalogue& catalogue,
                         COmniFileAccess& files)
      : settings_(settings), catalogue_(catalogue), files_(files) {}

  std::string GetPath() override { return "/view"; }
  // Answers when `page` is a thumbnail-page key ("T-list-order-page"); otherwise leaves the
  // request to the handlers after it.
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
  ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
};

// The complete response for `request`; none when its `page` is not a thumbnail-page key.
// `context` is the request's authenticated accounts (empty when authentication is off).
// Whether an image's file is still there is asked of `files`.
std::optional<Response> ThumbnailPageResponse(const ServerSettings& settings,
                                              ImageCatalogue& catalogue, COmniFileAccess& files,
                                              const std::vector<UserAccount>& context,
                                              const s_request& request, const std::string& nonce);
