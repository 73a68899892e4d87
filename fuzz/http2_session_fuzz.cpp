// The HTTP/2 side of a connection, without TLS: the input is what a client sends, delivered in
// pieces of varying size, with the session's output taken in pieces too. Handlers answer at
// once (pages of several sizes, some after an interim answer); uploads go to a body stream
// that fills up and drains.
// Checked: no crash or leak; the output held never passes its bound by more than a frame; the
// request and answer budgets taken by streams come back whole once the session is gone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "server/net/http2/http2_session.h"
#include "server/net/http_response.h"
#include "server/net/incoming_request.h"

namespace {

class FillingStream : public CRequestBodyStream {
 public:
  explicit FillingStream(IncomingRequest request) : request_(std::move(request)) {}
  void Append(std::string bytes) override { held_ += bytes.size(); }
  // Full every other time it is asked while it holds anything; asking drains it.
  bool Full() override {
    full_ = !full_ && held_ > 0;
    if (!full_) held_ = 0;
    return full_;
  }
  void Finish() override { request_.Respond(HttpResponse("200 OK").Finish("done")); }
  void Abandon() override {}

 private:
  IncomingRequest request_;
  size_t held_ = 0;
  bool full_ = false;
};

class AnsweringRouter : public CStreamRouter {
 public:
  bool HandleRequest(std::string& bytes, const std::shared_ptr<CResponder>& responder) override {
    IncomingRequest request;
    if (!IncomingRequest::Parse(std::move(bytes), IncomingRequest::Body::kWhole, responder,
                                &request)) {
      responder->Respond(HttpResponse("400 Bad Request").ContentLength(0).Finish());
      return true;
    }
    size_t size = request.target().path.size() * 4099 % 200000;
    if (size % 3 == 0) request.Interim(HttpResponse("103").Header("Link", "</a.js>").Finish());
    request.Respond(
        HttpResponse("200 OK").ContentLength(size).Close().Finish(std::string(size, 'x')));
    return true;
  }
  BodyStreamOpener OpenBodyStream(std::string_view head,
                                  const std::shared_ptr<CResponder>& responder) override {
    IncomingRequest request;
    if (!IncomingRequest::Parse(std::string(head), IncomingRequest::Body::kToCome, responder,
                                &request) ||
        request.target().path != "/upload") {
      return {};
    }
    return [request] { return std::make_shared<FillingStream>(request); };
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AnsweringRouter router;
  size_t reserved = 0;
  size_t answers = 0;
  int64_t now = 0;
  {
    Http2Session::Environment environment;
    environment.router = &router;
    environment.reserve = [&reserved](size_t bytes) {
      if (bytes > (64u << 20) - reserved) return false;
      reserved += bytes;
      return true;
    };
    environment.release = [&reserved](size_t bytes) { reserved -= bytes; };
    environment.reserve_answer = [&answers](size_t bytes) {
      if (bytes > (1u << 20) - answers) return false;
      answers += bytes;
      return true;
    };
    environment.release_answer = [&answers](size_t bytes) { answers -= bytes; };
    environment.wake = [] {};
    environment.unanswered = [](const CResponder&) {};
    environment.now_ms = [&now] { return now; };
    environment.peer_address = "127.0.0.1";
    Http2Session session(std::move(environment));

    uint32_t cut = static_cast<uint32_t>(size) * 2654435761u;
    size_t pos = 0;
    bool open = true;
    while (open && pos < size) {
      cut = cut * 1103515245u + 12345u;
      size_t piece = std::min<size_t>(size - pos, 1 + (cut >> 16) % 97);
      open = session.Receive(std::string_view(reinterpret_cast<const char*>(data) + pos, piece));
      pos += piece;
      now += (cut >> 8) % 50;
      session.Poll();
      std::string_view output = session.Output();
      if (output.size() > Http2Session::kOutputChunkBytes + 16384 + 9) std::abort();
      // The client reads some of it, or all.
      session.Sent((cut & 1) != 0 ? output.size() : output.size() / 2);
      if (session.Finished()) break;
    }
    // Half the inputs end with the client gone, the rest with the session simply dropped.
    if ((cut & 2) != 0) {
      session.Abandon();
      if (!session.Output().empty()) std::abort();
    }
  }
  if (reserved != 0 || answers != 0) std::abort();
  return 0;
}
