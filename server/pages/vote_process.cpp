#include "server/pages/vote_process.h"

#include <utility>

#include "server/catalogue/page_keys.h"
#include "server/catalogue/word_decode.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"

namespace {

constexpr int32_t kJobPriority = 0;

// Why the request names no image before the catalogue is asked; "" when it has a key.
std::string_view KeyError(const s_request& request, ImageKey* key) {
  if (!request.params.contains("page")) return "missing_page_parameter";
  if (!ParseImageKey(request.Param("page"), key)) return "invalid_page_format";
  return {};
}

std::string ErrorBody(std::string_view reason) {
  return "{\"state\":\"error\",\"message\":\"" + std::string(reason) + "\"}\r\n";
}

class CVoteJob : public CThreadCommand {
 public:
  CVoteJob(ImageCatalogue& catalogue, CImageServer* server, platform::SocketHandle socket,
           int32_t connection_id, s_request request)
      : catalogue_(catalogue),
        server_(server),
        socket_(socket),
        connection_id_(connection_id),
        request_(std::move(request)) {}

  int Run() override {
    server_->Respond(socket_, connection_id_,
                     VoteResponse(CountVote(catalogue_, request_), MakeNonce()));
    return 0;
  }

 private:
  ImageCatalogue& catalogue_;
  CImageServer* server_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  s_request request_;
};

}  // namespace

std::string CountVote(ImageCatalogue& catalogue, const s_request& request) {
  ImageKey key;
  const std::string_view error = KeyError(request, &key);
  if (!error.empty()) return ErrorBody(error);
  // The key's own order, "N" the name order (the slide show's data reads "N" otherwise).
  ImageEntry entry;
  if (!catalogue.orders()
           .View(key.order, DecodeWord(request.Param("word")))
           .Get(key.position, &entry)) {
    return ErrorBody("index_not_found");
  }
  const std::string hash = catalogue.likes().GetHash(entry.path);
  if (hash.empty()) return ErrorBody("hash_not_found");
  const int32_t count = catalogue.likes().Vote(hash, entry.size);
  return "{\"state\":\"success\",\"response\":\"xxx\",\"viewNum\":\"" + std::to_string(count) +
         "\"}\r\n";
}

std::string VoteResponse(std::string_view body, std::string_view nonce) {
  return HttpResponse("200 OK")
      .NoCache()
      .ContentLength(body.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "application/json")
      .Finish(body);
}

int CVoteProcess::Process(platform::SocketHandle socket, int32_t connection_id,
                          const s_request& request) {
  ImageKey key;
  if (!KeyError(request, &key).empty()) {
    server()->Respond(socket, connection_id,
                      VoteResponse(CountVote(catalogue_, request), MakeNonce()));
    return 1;
  }
  pool_->Post(new CVoteJob(catalogue_, server(), socket, connection_id, request), kJobPriority,
              this, 0);
  return 1;
}
