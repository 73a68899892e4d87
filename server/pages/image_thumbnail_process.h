// "/view": one page of up to 100 thumbnails of an order, optionally narrowed by a search word,
// with links to the other pages and orders, the uploader and a search form.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "server/catalogue/image_catalogue.h"
#include "server/net/request_process.h"

class CImageThumbnailProcess : public CRequestProcess {
 public:
  // `settings` and `catalogue` must outlive the handler.
  CImageThumbnailProcess(const ServerSettings& settings, ImageCatalogue& catalogue)
      : settings_(settings), catalogue_(catalogue) {}

  std::string GetPath() override { return "/view"; }
  // Answers when `page` is a thumbnail-page key ("T-list-order-page"); otherwise leaves the
  // request to the handlers after it.
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
  ImageCatalogue& catalogue_;
};

// The complete response for `request`; none when its `page` is not a thumbnail-page key.
// `context` is the request's authenticated accounts (empty when authentication is off).
std::optional<Response> ThumbnailPageResponse(const ServerSettings& settings,
                                              ImageCatalogue& catalogue,
                                              const std::vector<UserAccount>& context,
                                              const s_request& request, const std::string& nonce);
