// A request as handlers receive it: the request parsed once (HttpRequest), the accounts the
// Digest check found for its user, and the responder that answers it. Copies share all three,
// so a job takes the request with it by value and answers it from any thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "server/net/request.h"
#include "server/net/request_body_stream.h"
#include "server/net/responder.h"

class IncomingRequest {
 public:
  enum class Body {
    kWhole,   // `bytes` hold the whole request, its body included
    kToCome,  // `bytes` hold the header block; the body arrives later (ReceiveBody)
  };

  // Parses `bytes` (a whole request or a header block, as `body` says). False when the
  // request line has no space: the request then has nothing to route, and `out` is left alone.
  static bool Parse(std::string bytes, Body body, std::shared_ptr<CResponder> responder,
                    IncomingRequest* out);

  const HttpRequest& http() const { return parsed_->request; }
  const s_request& target() const { return parsed_->request.target; }

  // The accounts of the authenticated user; empty when the request carries no credentials
  // that were checked.
  const std::vector<UserAccount>& accounts() const;
  void set_accounts(std::vector<UserAccount> accounts);

  CResponder& responder() const { return *responder_; }
  const std::shared_ptr<CResponder>& shared_responder() const { return responder_; }
  void Interim(Response response) const { responder_->Interim(std::move(response)); }
  void Respond(Response response) const { responder_->Respond(std::move(response)); }

  // Sends the body to `stream`: at once when it is here (then Finish), else while it arrives.
  // REQUIRES: called by the handler that takes the request, during its Process.
  void ReceiveBody(std::shared_ptr<CRequestBodyStream> stream);
  // The stream a handler asked for the body to come; null when none did.
  std::shared_ptr<CRequestBodyStream> TakeBodyStream() { return std::move(body_stream_); }

 private:
  struct Parsed {
    std::string bytes;
    HttpRequest request;  // views into `bytes`
  };

  std::shared_ptr<const Parsed> parsed_;
  std::shared_ptr<const std::vector<UserAccount>> accounts_;
  std::shared_ptr<CResponder> responder_;
  Body body_ = Body::kWhole;
  std::shared_ptr<CRequestBodyStream> body_stream_;
};
