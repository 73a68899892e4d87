// "/next_url": how many images the slide show's order and search hold, answered as JSON by a
// CNextPageDataLoading job on the worker pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/local_time.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/page_keys.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"

class CNextPageDataProcess : public CRequestProcess {
 public:
  // `catalogue`, `answered` and `pool` must outlive the handler and its jobs. Every reply
  // adds one to `answered`, the server's count of answered posts and data requests.
  CNextPageDataProcess(const ImageCatalogue& catalogue, std::atomic<uint32_t>& answered,
                       MySystem::CThreadMgr* pool)
      : catalogue_(catalogue), answered_(answered), pool_(pool) {}

  std::string GetPath() override { return "/next_url"; }
  // Queues the job for the request; always 1.
  int Process(IncomingRequest& request) override;

  // Run by CNextPageDataLoading on a worker thread: counts the reply and answers `request`.
  void Answer(const ImageKey& key, const IncomingRequest& request);

 private:
  const ImageCatalogue& catalogue_;
  std::atomic<uint32_t>& answered_;
  MySystem::CThreadMgr* pool_;
};

// The key a request names: its `page` when that is an image key of three fields, else 1-N-1.
ImageKey NextPageDataKey(const s_request& request);

// The order the slide show counts in for a key's order code. "N" counts in the date order,
// like "D"; a code that is none of the five counts in the name order.
ListOrder NextPageDataOrder(const std::string& order_code);

// The complete response: the number of images of the key's order narrowed by the request's
// `word`, and `now`, as {"state":"success","time":"YYYYMMDDhhmmss","ImageURL":"n"}.
Response NextPageDataResponse(const OrderedLists& orders, const ImageKey& key,
                              const s_request& request, const platform::LocalTime& now,
                              const std::string& nonce);
