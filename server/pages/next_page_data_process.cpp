#include "server/pages/next_page_data_process.h"

#include "server/catalogue/calendar_time.h"
#include "server/catalogue/word_decode.h"
#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/pages/next_page_data_loading.h"
#include "server/pages/page_common.h"

namespace {

constexpr int32_t kJobPriority = 0;

}  // namespace

ImageKey NextPageDataKey(const s_request& request) {
  ImageKey key;
  if (ParseImageKey(request.Param("page"), &key)) return key;
  ParseImageKey("1-N-1", &key);
  return key;
}

ListOrder NextPageDataOrder(const std::string& order_code) {
  if (order_code == "N" || order_code == "D") return ListOrder::Date;
  if (order_code == "F") return ListOrder::Likes;
  if (order_code == "PN") return ListOrder::FolderTopByName;
  if (order_code == "PD") return ListOrder::FolderTopByDate;
  return ListOrder::Name;
}

Response NextPageDataResponse(const OrderedLists& orders, const ImageKey& key,
                              const s_request& request, const platform::LocalTime& now,
                              const std::string& nonce) {
  const uint32_t count =
      orders.View(NextPageDataOrder(key.order_code), DecodeWord(request.Param("word"))).Count();
  std::string body = "{\"state\":\"success\",\"time\":\"" + LocalTimeStamp(now) +
                     "\",\"ImageURL\":\"" + std::to_string(count) + "\"}";
  return HttpResponse("200 OK")
      .ContentLength(body.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "application/json")
      .Finish(std::move(body));
}

int CNextPageDataProcess::Process(IncomingRequest& request) {
  pool_->Post(
      std::make_unique<CNextPageDataLoading>(this, NextPageDataKey(request.target()), request),
      kJobPriority);
  return 1;
}

void CNextPageDataProcess::Answer(const ImageKey& key, const IncomingRequest& request) {
  Response response = NextPageDataResponse(catalogue_.orders(), key, request.target(),
                                           platform::LocalTimeNow(), MakeNonce());
  answered_.fetch_add(1);
  request.Respond(std::move(response));
}
