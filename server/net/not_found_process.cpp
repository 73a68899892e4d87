#include "server/net/not_found_process.h"

#include "server/net/image_server.h"
#include "server/net/nonce.h"

std::string NotFoundResponse(const std::string& nonce) {
  return "HTTP/1.1 404 Not Found\r\n"
         "Content-Length: 0\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-" +
         nonce +
         "'\r\n"
         "Connection: Close\r\n"
         "Content-Type: text/html\r\n\r\n";
}

int C404rocess::Process(platform::SocketHandle socket, int32_t connection_id, const s_request&) {
  server()->Respond(socket, connection_id, NotFoundResponse(MakeNonce()));
  return 1;
}
