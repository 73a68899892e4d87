#include "server/net/incoming_request.h"

bool IncomingRequest::Parse(std::string bytes, Body body, std::shared_ptr<CResponder> responder,
                            IncomingRequest* out) {
  auto parsed = std::make_shared<Parsed>();
  // Moved, not copied: a body may be hundreds of megabytes, and the views point into it.
  parsed->bytes = std::move(bytes);
  if (!parsed->request.Parse(parsed->bytes)) return false;
  out->parsed_ = std::move(parsed);
  out->accounts_.reset();
  out->responder_ = std::move(responder);
  out->body_ = body;
  out->body_stream_.reset();
  return true;
}

const std::vector<UserAccount>& IncomingRequest::accounts() const {
  static const std::vector<UserAccount> kNone;
  return accounts_ ? *accounts_ : kNone;
}

void IncomingRequest::set_accounts(std::vector<UserAccount> accounts) {
  if (accounts.empty()) {
    accounts_.reset();
  } else {
    accounts_ = std::make_shared<const std::vector<UserAccount>>(std::move(accounts));
  }
}

void IncomingRequest::ReceiveBody(std::shared_ptr<CRequestBodyStream> stream) {
  if (body_ == Body::kToCome) {
    body_stream_ = std::move(stream);
    return;
  }
  const std::string_view body = http().Body();
  if (!body.empty()) stream->Append(std::string(body));
  stream->Finish();
}
