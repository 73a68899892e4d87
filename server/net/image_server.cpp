#include "server/net/image_server.h"

#include <cstdio>
#include <memory>

#include "server/net/http_response.h"

CImageServer::CImageServer(size_t max_connections) : CNoneBlockingServer(max_connections) {}

void CImageServer::SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers) {
  handlers_ = std::move(handlers);
}

void CImageServer::Respond(platform::SocketHandle socket, int32_t connection_id,
                           std::string bytes) {
  s_message message;
  message.socket = socket;
  message.connection_id = connection_id;
  message.bytes = std::move(bytes);
  PostFinalResponse(std::move(message));
}

bool CImageServer::OnRequest(s_message& message) {
  if (message.bytes.empty()) return false;
  // Moved, not copied, into shared ownership: a handler's jobs may keep the bytes.
  auto bytes = std::make_shared<std::string>(std::move(message.bytes));
  HttpRequest request;
  request.shared_bytes = bytes;
  if (!request.Parse(*bytes)) {
    // Without a target there is nothing to route; answer at once instead of holding the
    // connection until its time-out.
    Respond(message.socket, message.connection_id,
            HttpResponse("400 Bad Request").ContentLength(0).Close().Finish());
    return true;
  }

  std::vector<UserAccount> context;
  for (const auto& handler : handlers_) {
    std::string path = handler->GetPath();
    if (!path.empty() && path != request.target.path) continue;
    if (Offer(handler.get(), message.socket, message.connection_id, request, &context) != 0) {
      return true;
    }
  }
  // Declined handlers keep nothing of the request, so its bytes go back as they came.
  message.bytes = std::move(*bytes);
  return false;
}

int CImageServer::Offer(CRequestProcess* handler, platform::SocketHandle socket,
                        int32_t connection_id, const HttpRequest& request,
                        std::vector<UserAccount>* context) {
  handler->Bind(this, *context);
  int handled = handler->WantsRawRequest() == 1
                    ? handler->ProcessRaw(socket, connection_id, request)
                    : handler->Process(socket, connection_id, request.target);
  if (handler->PassesContext() == 1) *context = handler->context();
  return handled;
}

CRequestProcess* CImageServer::RoutedHandler(const HttpRequest& request) const {
  for (const auto& handler : handlers_) {
    std::string path = handler->GetPath();
    if (!path.empty() && path == request.target.path) return handler.get();
  }
  return nullptr;
}

bool CImageServer::WantsBodyStream(std::string_view head) {
  HttpRequest request;
  if (!request.Parse(head)) return false;
  CRequestProcess* routed = RoutedHandler(request);
  return routed != nullptr && routed->StreamsBody(request) == 1;
}

std::shared_ptr<CRequestBodyStream> CImageServer::OpenBodyStream(platform::SocketHandle socket,
                                                                 int32_t connection_id,
                                                                 std::string_view head) {
  auto bytes = std::make_shared<std::string>(head);
  HttpRequest request;
  request.shared_bytes = bytes;
  request.Parse(*bytes);
  CRequestProcess* routed = RoutedHandler(request);
  // The handlers for every path before the routed one (the Digest check) see the header
  // block as they would see the whole request; one that answers leaves the body unread.
  std::vector<UserAccount> context;
  for (const auto& handler : handlers_) {
    if (handler.get() == routed) {
      handler->Bind(this, context);
      return handler->OpenBodyStream(socket, connection_id, request);
    }
    if (!handler->GetPath().empty()) continue;
    if (Offer(handler.get(), socket, connection_id, request, &context) != 0) break;
  }
  return std::make_shared<CDroppedRequestBody>();
}

bool CImageServer::OnPeerHungUp(platform::SocketHandle socket, int32_t connection_id) {
  return pool_ != nullptr && pool_->DropJobsFor(socket, connection_id) > 0;
}

void CImageServer::Log(int code, const std::string& text) {
  // Connections come and go by the thousand; only the time-out sweep is worth a line.
  if (code == 103) std::printf("%s\r\n", text.c_str());
}
