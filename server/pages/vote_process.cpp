#include "server/pages/vote_process.h"

#include <utility>

#include "server/catalogue/page_keys.h"
#include "server/catalogue/picture_id.h"
#include "server/catalogue/word_decode.h"
#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/net/request_gate.h"

namespace {

constexpr int32_t kJobPriority = 0;

// What FindVotedImage answers when the key's position holds another picture than the one
// the request names by id, and the caller did not let it search.
constexpr std::string_view kMoved = "moved";

// The image the request names, or why it names none ("" when it names one). The key's own
// order counts, "N" the name order (the slide show's data reads "N" otherwise), narrowed by
// the word as on the image page. The image page also sends the id of the picture it showed:
// after a rescan the key's position may hold another picture, and the like is the shown
// one's. That one is looked up by its id when `search` is set (the lookup may hash every
// path once per list); otherwise the answer is kMoved.
std::string_view FindVotedImage(const ImageCatalogue& catalogue, const s_request& request,
                                bool search, ImageEntry* entry) {
  ImageKey key;
  if (!request.params.contains("page")) return "missing_page_parameter";
  if (!ParseImageKey(request.Param("page"), &key)) return "invalid_page_format";
  const bool found = catalogue.orders()
                         .View(key.order, DecodeWord(request.Param("word")))
                         .Get(key.position, entry);
  const std::string id = request.Param("id");
  if (id.empty() || (found && PictureId(entry->path) == id)) {
    return found ? std::string_view() : "index_not_found";
  }
  if (!search) return kMoved;
  return catalogue.orders().FindPicture(id, entry) ? std::string_view() : "index_not_found";
}

std::string ErrorBody(std::string_view reason) {
  return "{\"state\":\"error\",\"message\":\"" + std::string(reason) + "\"}\r\n";
}

std::string SuccessBody(int32_t count) {
  return "{\"state\":\"success\",\"response\":\"xxx\",\"viewNum\":\"" + std::to_string(count) +
         "\"}\r\n";
}

// Counts the vote on a worker thread. It runs even when the client has left: the like counts.
class CVoteJob : public CThreadCommand {
 public:
  CVoteJob(ImageCatalogue& catalogue, IncomingRequest request)
      : catalogue_(catalogue), request_(std::move(request)) {}

  int Run() override {
    request_.Respond(VoteResponse(CountVote(catalogue_, request_.target()), MakeNonce()));
    return 0;
  }

 private:
  ImageCatalogue& catalogue_;
  IncomingRequest request_;
};

}  // namespace

std::string CountVote(ImageCatalogue& catalogue, const s_request& request) {
  ImageEntry entry;
  const std::string_view reason = FindVotedImage(catalogue, request, true, &entry);
  if (!reason.empty()) return ErrorBody(reason);
  const std::string hash = catalogue.likes().GetHash(entry.path);
  if (hash.empty()) return ErrorBody("hash_not_found");
  return SuccessBody(catalogue.likes().Vote(hash, entry.size));
}

Response VoteResponse(std::string body, std::string_view nonce) {
  return HttpResponse("200 OK")
      .NoCache()
      .ContentLength(body.size())
      .Close()
      .SecurityPolicy(nonce)
      .Header("Content-Type", "application/json")
      .Finish(std::move(body));
}

int CVoteProcess::Process(IncomingRequest& incoming) {
  // The like button's script asks with this header; a page of another site cannot send it (a
  // cross-site request that carries it needs the gallery's consent, which it never gives), so
  // an <img> or a form elsewhere cannot like pictures in a visitor's name.
  std::string requested_with;
  if (!incoming.http().Header(kVoteRequestHeader, &requested_with) ||
      requested_with != kVoteRequestHeaderValue) {
    incoming.Respond(RefusalResponse("403 Forbidden"));
    return 1;
  }
  const s_request& request = incoming.target();
  // Answered here when that is quick: a request that names no image, or a vote for a
  // picture hashed before. A search word, a file to hash, a picture that moved since its
  // page was made or a busy table take a job.
  ImageEntry entry;
  int32_t count;
  std::string body;
  if (request.Param("word").empty()) {
    const std::string_view reason = FindVotedImage(catalogue_, request, false, &entry);
    if (reason == kMoved) {
      // Looked up by its id in the job.
    } else if (!reason.empty()) {
      body = ErrorBody(reason);
    } else if (catalogue_.likes().TryVoteCached(entry.path, entry.size, &count)) {
      body = SuccessBody(count);
    }
  }
  if (body.empty()) {
    pool_->Post(std::make_unique<CVoteJob>(catalogue_, incoming), kJobPriority);
  } else {
    incoming.Respond(VoteResponse(std::move(body), MakeNonce()));
  }
  return 1;
}
