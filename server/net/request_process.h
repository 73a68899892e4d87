// The interface of every URL handler. The dispatcher (CImageServer::Route) offers each request
// to the handlers in list order; a handler answers it, or queues a job that will, or declines.
#pragma once

#include <string>

#include "server/net/incoming_request.h"

class CRequestProcess {
 public:
  virtual ~CRequestProcess() = default;

  // The exact path served; "" = offered every request. Asked once, when the list is set.
  virtual std::string GetPath() = 0;
  // Handles `request`: nonzero once it is answered (or a job will answer it), 0 to decline,
  // and the request is offered to the next handler. A handler for every path may leave
  // something for the later ones in the request (the Digest check: the user's accounts).
  virtual int Process(IncomingRequest& request) = 0;
  // True when a POST to this handler's path takes its body while it arrives: the request is
  // routed from its header block, and the handler hands it a stream with ReceiveBody.
  virtual bool StreamsPostBody() const { return false; }
};
