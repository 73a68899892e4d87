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
#include "server/threads/thread_mgr.h"

class CImageThumbnailProcess : public CRequestProcess {
 public:
  // `settings`, `catalogue`, `files` and `pool` must outlive the handler and its jobs.
  CImageThumbnailProcess(const ServerSettings& settings, ImageCatalogue& catalogue,
                         COmniFileAccess& files, MySystem::CThreadMgr* pool)
      : settings_(settings), catalogue_(catalogue), files_(files), pool_(pool) {}

  std::string GetPath() override { return "/view"; }
  // When `page` is a thumbnail-page key ("T-list-order-page"), queues the job that builds and
  // answers the page, off the server loop: a page of a large gallery lists thousands of page
  // links. Otherwise leaves the request to the handlers after it.
  int Process(IncomingRequest& request) override;

 private:
  const ServerSettings& settings_;
  ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  MySystem::CThreadMgr* pool_;
};

// The complete response for `request`; none when its `page` is not a thumbnail-page key.
// `context` is the request's authenticated accounts (empty when authentication is off).
// Whether an image's file is still there is asked of `files`.
std::optional<Response> ThumbnailPageResponse(const ServerSettings& settings,
                                              ImageCatalogue& catalogue, COmniFileAccess& files,
                                              const std::vector<UserAccount>& context,
                                              const s_request& request, const std::string& nonce);
