// How a request is answered: the one way handlers and their jobs reach the client. Each
// request has its own responder, so a transport that carries many requests at once on one
// connection gives each of them one, and handlers do not know which transport they answer.
#pragma once

#include <string>

#include "server/net/response.h"

class CResponder {
 public:
  virtual ~CResponder() = default;

  // Sends an interim answer (1xx, such as 103 Early Hints) ahead of the final one. Any thread.
  virtual void Interim(Response response) = 0;
  // Sends the answer. Any thread. An answer after the first goes nowhere a client reads it.
  virtual void Respond(Response response) = 0;
  // True once the client has left: answers go nowhere, so work done only to answer can stop.
  // Any thread.
  virtual bool Gone() const = 0;
  // The address of the client, "" when unknown.
  virtual std::string PeerAddress() const = 0;
  // A body stream of the request (request_body_stream.h) that was Full has room again: the
  // transport reads on. Any thread.
  virtual void ResumeBody() = 0;
};
