// The last handler: answers every request that reaches it with 404.
#pragma once

#include "server/net/request_process.h"

class C404rocess : public CRequestProcess {
 public:
  std::string GetPath() override { return ""; }
  int Process(IncomingRequest& request) override;
};

// The complete 404 response with the given Content-Security-Policy nonce.
Response NotFoundResponse(const std::string& nonce);
