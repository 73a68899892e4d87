#include "server/net/not_found_process.h"

#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"

std::string NotFoundResponse(const std::string& nonce) {
  return HttpResponse("404 Not Found")
      .ContentLength(0)
      .SecurityPolicy(nonce)
      .Close()
      .Header("Content-Type", "text/html")
      .Finish();
}

int C404rocess::Process(platform::SocketHandle socket, int32_t connection_id, const s_request&) {
  server()->Respond(socket, connection_id, NotFoundResponse(MakeNonce()));
  return 1;
}
