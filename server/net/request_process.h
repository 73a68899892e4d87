// The interface of every URL handler. The dispatcher offers each request to the handlers in
// list order; a handler returns nonzero once it has answered (or queued a job that will).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "platform/tcp_socket.h"
#include "server/net/request.h"
#include "server/net/request_body_stream.h"

class CImageServer;

class CRequestProcess {
 public:
  virtual ~CRequestProcess() = default;

  // The exact path served; "" = offered every request.
  virtual std::string GetPath() = 0;
  // Handles the request from its bytes (request line, headers and body) and parsed target.
  virtual int ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                         const HttpRequest& request);
  // Handles the request from its parsed path and parameters.
  virtual int Process(platform::SocketHandle socket, int32_t connection_id,
                      const s_request& request);
  // 1: ProcessRaw is called; 0: Process is called.
  virtual int WantsRawRequest() { return 0; }
  // 1: after the call, this handler's context becomes the request's context.
  virtual int PassesContext() { return 0; }
  // 1: the handler takes `head`'s body while it arrives, through OpenBodyStream, in place of
  // a ProcessRaw call with the whole request. `head` holds the request line and headers only.
  // Must have no other effect.
  virtual int StreamsBody(const HttpRequest& /*head*/) { return 0; }
  // Handles the request from its header block; the body goes to the returned stream, which
  // answers once it is whole. Called only when StreamsBody said 1; never returns null.
  virtual std::shared_ptr<CRequestBodyStream> OpenBodyStream(platform::SocketHandle socket,
                                                             int32_t connection_id,
                                                             const HttpRequest& head);

  // Set by the dispatcher before every call.
  void Bind(CImageServer* server, const std::vector<UserAccount>& context) {
    server_ = server;
    context_ = context;
  }
  const std::vector<UserAccount>& context() const { return context_; }

 protected:
  CImageServer* server() const { return server_; }
  std::vector<UserAccount>& mutable_context() { return context_; }

 private:
  CImageServer* server_ = nullptr;
  std::vector<UserAccount> context_;  // the accounts of the request's authenticated user
};
