#include "server/net/not_found_process.h"

#include "server/net/http_response.h"
#include "server/net/nonce.h"

Response NotFoundResponse(const std::string& nonce) {
  return HttpResponse("404 Not Found")
      .ContentLength(0)
      .SecurityPolicy(nonce)
      .Close()
      .Header("Content-Type", "text/html")
      .Finish();
}

int C404rocess::Process(IncomingRequest& request) {
  request.Respond(NotFoundResponse(MakeNonce()));
  return 1;
}
