// /individual: one image shown full-window, with a hidden header bar carrying the like
// button, the image's name, next / previous / random links, the same image in the other
// orders, a direct link, a link to share (by the picture's id, which rescans do not move),
// the way back to its thumbnail page and the slide show. The picture is offered in screen
// renditions (srcset), its neighbours' are fetched by the page once it has loaded. The handler
// only queues a CImagePageLoading job; the page is built on the worker pool, which also reads
// the shown image and its neighbours into the file cache where they are sent as stored (GIF,
// SVG).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/config/server_settings.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"

class CImagePageProcess : public CRequestProcess {
 public:
  // `settings`, `catalogue`, `files` and `pool` must outlive the handler and its jobs. The
  // page jobs and the pre-reads run on `pool`; the pre-reads fill the cache of `files`.
  CImagePageProcess(const ServerSettings& settings, const ImageCatalogue& catalogue,
                    COmniFileAccess& files, MySystem::CThreadMgr* pool);

  std::string GetPath() override { return "/individual"; }
  // Queues the page job for the request; always 1.
  int Process(IncomingRequest& request) override;

  // The page builder, run by CImagePageLoading on a worker thread. Queues the pre-reads, then
  // answers the request with the page. A `page` value that is not an image key of three
  // fields, or an `id` that names no picture, is answered with 404 at once.
  virtual void BuildPage(const IncomingRequest& request);

 private:
  const ServerSettings& settings_;
  const ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  MySystem::CThreadMgr* pool_;
};

// What one image page consists of.
struct ImagePage {
  // The files of the shown image and of its neighbours that exist and are sent as stored,
  // shown image first.
  std::vector<std::string> preread_paths;
  Response response;  // the 200 response, its body in Shift-JIS
};

// Builds the page for `request` from one version of `orders`. `nonce` goes into the
// Content-Security-Policy and every script tag; `random` is one generator output, taken
// modulo the filtered list's size for the random link. Without `page`, an `id` (PictureId)
// names the picture, shown at its name-order position without a search word. False, leaving
// `out` alone, when `page` is not an image key of three fields, or there is none and `id`
// names no picture.
bool MakeImagePage(const ServerSettings& settings, const OrderedLists& orders,
                   const s_request& request, std::string_view nonce, uint32_t random,
                   ImagePage* out);
