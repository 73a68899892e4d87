#include "server/net/image_server.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "server/net/http_response.h"
#include "server/net/request_gate.h"

CImageServer::CImageServer(size_t max_connections, platform::SocketLayer* sockets)
    : CNoneBlockingServer(max_connections, sockets) {}

void CImageServer::SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers) {
  handlers_ = std::move(handlers);
  routes_.clear();
  for (const auto& handler : handlers_) routes_.push_back({handler->GetPath(), handler.get()});
}

bool CImageServer::Route(IncomingRequest& request) {
  if (std::optional<Response> refusal = GateRefusal(request.http())) {
    request.Respond(std::move(*refusal));
    return true;
  }
  return RouteFrom(request, 0);
}

bool CImageServer::RouteFrom(IncomingRequest& request, size_t first) {
  const std::string& path = request.target().path;
  for (size_t i = first; i < routes_.size(); ++i) {
    const RouteEntry& route = routes_[i];
    if (!route.path.empty() && route.path != path) continue;
    if (route.handler->Process(request) != 0) return true;
  }
  return false;
}

size_t CImageServer::LeadingHandlers() const {
  size_t count = 0;
  while (count < routes_.size() && routes_[count].path.empty()) ++count;
  return count;
}

bool CImageServer::StreamsPostBody(std::string_view path) const {
  for (const RouteEntry& route : routes_) {
    if (route.path == path) return route.handler->StreamsPostBody();
  }
  return false;
}

bool CImageServer::OnRequest(s_message& message,
                             const std::shared_ptr<CHttp1Responder>& responder) {
  // A HEAD request is answered as its GET would be, header lines and all, without the body.
  if (message.bytes.starts_with("HEAD ")) responder->OmitBody();
  return HandleRequest(message.bytes, responder);
}

bool CImageServer::HandleRequest(std::string& bytes, const std::shared_ptr<CResponder>& responder) {
  if (bytes.empty()) return false;
  IncomingRequest request;
  if (!IncomingRequest::Parse(std::move(bytes), IncomingRequest::Body::kWhole, responder,
                              &request)) {
    // Without a target there is nothing to route; answer at once instead of holding the
    // connection until its time-out.
    responder->Respond(HttpResponse("400 Bad Request").ContentLength(0).Close().Finish());
    return true;
  }
  if (Route(request)) return true;
  // Declined handlers keep nothing of the request, so its bytes go back as they came.
  bytes = request.http().bytes;
  return false;
}

CNoneBlockingServer::BodyStreamOpener CImageServer::BodyStreamFor(
    std::string_view head, const std::shared_ptr<CHttp1Responder>& responder) {
  IncomingRequest request;
  if (!IncomingRequest::Parse(std::string(head), IncomingRequest::Body::kToCome, responder,
                              &request)) {
    return {};  // held whole, then answered 400 like any request without a target
  }
  // Everything that refuses a request is decided here, on the header block, so that the body
  // of a request that will not be served is never read.
  return [this, request]() mutable -> std::shared_ptr<CRequestBodyStream> {
    if (std::optional<Response> refusal = GateRefusal(request.http())) {
      request.Respond(std::move(*refusal));
      return nullptr;
    }
    if (request.http().method == "POST" && StreamsPostBody(request.target().path)) {
      // The handlers before the path's own (the Digest check) see the header block as they
      // would see the whole request; the path's handler refuses it or takes its body.
      RouteFrom(request, 0);
      return request.TakeBodyStream();
    }
    return OpenPlainBody(std::move(request));
  };
}

namespace {

// The body of a request whose handlers want it whole, collected (it is small) and then handed
// with its header block to the handlers that follow the leading ones, which have seen the
// header block already.
class CCollectedBody : public CRequestBodyStream {
 public:
  using Deliver = std::function<void(std::string whole)>;
  CCollectedBody(std::string head, Deliver deliver)
      : whole_(std::move(head)), deliver_(std::move(deliver)) {}

  void Append(std::string bytes) override { whole_ += bytes; }
  bool Full() override { return false; }
  void Finish() override { deliver_(std::move(whole_)); }
  void Abandon() override {}

 private:
  std::string whole_;
  Deliver deliver_;
};

}  // namespace

std::shared_ptr<CRequestBodyStream> CImageServer::OpenPlainBody(IncomingRequest request) {
  const size_t leading = LeadingHandlers();
  // The leading handlers (the Digest check) answer every request they refuse at once.
  for (size_t i = 0; i < leading; ++i) {
    if (routes_[i].handler->Process(request) != 0) return nullptr;
  }
  std::string length;
  size_t body_size = 0;
  if (request.http().Header("Content-Length", &length)) body_size = std::stoull(length);
  if (body_size > kMaxPlainBodyBytes) {
    request.Respond(RefusalResponse("413 Content Too Large"));
    return nullptr;
  }
  std::string head(request.http().bytes);
  return std::make_shared<CCollectedBody>(
      std::move(head), [this, leading, request](std::string whole) {
        IncomingRequest complete;
        std::shared_ptr<CResponder> responder = request.shared_responder();
        if (!IncomingRequest::Parse(std::move(whole), IncomingRequest::Body::kWhole, responder,
                                    &complete)) {
          // Its header block parsed before; answered all the same should it ever not.
          responder->Respond(RefusalResponse("400 Bad Request"));
          return;
        }
        complete.set_accounts(request.accounts());
        RouteFrom(complete, leading);
      });
}

bool CImageServer::OnPeerHungUp(const CHttp1Responder& responder) {
  return pool_ != nullptr && pool_->DropJobsFor(&responder) > 0;
}

void CImageServer::Log(const std::string& text) {
  std::printf("%s\r\n", text.c_str());
}
