#include "server/net/image_server.h"

#include <cstdio>
#include <memory>

#include "server/net/http_response.h"

CImageServer::CImageServer(size_t max_connections, platform::SocketLayer* sockets)
    : CNoneBlockingServer(max_connections, sockets) {}

void CImageServer::SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers) {
  handlers_ = std::move(handlers);
  routes_.clear();
  for (const auto& handler : handlers_) routes_.push_back({handler->GetPath(), handler.get()});
}

bool CImageServer::Route(IncomingRequest& request) {
  const std::string& path = request.target().path;
  for (const RouteEntry& route : routes_) {
    if (!route.path.empty() && route.path != path) continue;
    if (route.handler->Process(request) != 0) return true;
  }
  return false;
}

bool CImageServer::StreamsPostBody(std::string_view path) const {
  for (const RouteEntry& route : routes_) {
    if (route.path == path) return route.handler->StreamsPostBody();
  }
  return false;
}

bool CImageServer::OnRequest(s_message& message,
                             const std::shared_ptr<CHttp1Responder>& responder) {
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
  return OpenBodyStream(head, responder);
}

CStreamRouter::BodyStreamOpener CImageServer::OpenBodyStream(
    std::string_view head, const std::shared_ptr<CResponder>& responder) {
  IncomingRequest request;
  if (!IncomingRequest::Parse(std::string(head), IncomingRequest::Body::kToCome, responder,
                              &request) ||
      request.http().method != "POST" || !StreamsPostBody(request.target().path)) {
    return {};
  }
  // The handlers before the path's own (the Digest check) see the header block as they would
  // see the whole request; one that answers leaves the body unread.
  return [this, request]() mutable -> std::shared_ptr<CRequestBodyStream> {
    Route(request);
    std::shared_ptr<CRequestBodyStream> stream = request.TakeBodyStream();
    return stream != nullptr ? stream : std::make_shared<CDroppedRequestBody>();
  };
}

bool CImageServer::OnPeerHungUp(const CHttp1Responder& responder) {
  return pool_ != nullptr && pool_->DropJobsFor(&responder) > 0;
}

void CImageServer::OnStreamUnanswered(const CResponder& responder) {
  if (pool_ != nullptr) pool_->DropJobsFor(&responder);
}

void CImageServer::Log(const std::string& text) {
  std::printf("%s\r\n", text.c_str());
}
