// The HTTP layer as a transport that carries many requests on one connection sees it: each
// request comes with a responder of its own, and is either routed whole or, for a handler
// that takes its body as it arrives, routed from its header block.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "server/net/request_body_stream.h"
#include "server/net/responder.h"

class CStreamRouter {
 public:
  // Runs once room is made for a body, and returns the stream it goes to (never null).
  using BodyStreamOpener = std::function<std::shared_ptr<CRequestBodyStream>()>;

  virtual ~CStreamRouter() = default;
  // Routes the whole request in `bytes` (request line, header lines, blank line, body) and
  // answers it through `responder`. True when answered; false leaves `bytes` as they were.
  virtual bool HandleRequest(std::string& bytes, const std::shared_ptr<CResponder>& responder) = 0;
  // Asked once the header block `head` of a request with a body has arrived. Empty: the
  // whole request is collected and routed by HandleRequest. Otherwise the body goes to the
  // opener's stream while it arrives. Must have no other effect.
  virtual BodyStreamOpener OpenBodyStream(std::string_view head,
                                          const std::shared_ptr<CResponder>& responder) = 0;
};
