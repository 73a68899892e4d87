#include "server/net/image_server.h"

#include <cstdio>
#include <cstring>

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

bool CImageServer::OnRequest(const s_message& message) {
  if (message.bytes.empty()) return false;
  // Only the request line counts, and only up to a zero byte.
  std::string text(message.bytes.c_str(), strnlen(message.bytes.c_str(), message.bytes.size()));
  std::string target;
  if (!RequestTarget(text, &target)) {
    // Without a target there is nothing to route; answer at once instead of holding the
    // connection until its time-out.
    Respond(message.socket, message.connection_id,
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: Close\r\n\r\n");
    return true;
  }
  s_request request;
  request.parse(target);

  std::vector<UserAccount> context;
  for (const auto& handler : handlers_) {
    std::string path = handler->GetPath();
    if (!path.empty() && path != request.path) continue;
    handler->Bind(this, context);
    int handled = handler->WantsRawRequest() == 1
                      ? handler->ProcessRaw(message.socket, message.connection_id, message.bytes)
                      : handler->Process(message.socket, message.connection_id, request);
    if (handler->PassesContext() == 1) context = handler->context();
    if (handled != 0) return true;
  }
  return false;
}

void CImageServer::Log(int code, const std::string& text) {
  // Connections come and go by the thousand; only the time-out sweep is worth a line.
  if (code == 103) std::printf("%s\r\n", text.c_str());
}
