// The HTTP layer over the socket server: parses each request once and offers it to the
// handler list in order until one answers.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "server/net/incoming_request.h"
#include "server/net/none_blocking_server.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"

class CImageServer : public CNoneBlockingServer {
 public:
  // `sockets` (the system's, or TLS over them) must outlive the server.
  explicit CImageServer(size_t max_connections = kDefaultMaxConnections,
                        platform::SocketLayer* sockets = &platform::SystemSockets());

  // Replaces the handler list (built once by the server start).
  void SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers);

  // Parses the whole request in `bytes` and routes it, answering 400 when it has no target.
  // True when answered (`bytes` are then taken); false leaves `bytes` as they were.
  bool HandleRequest(std::string& bytes, const std::shared_ptr<CResponder>& responder);
  // Answers `request` with its refusal when it does not pass the gate (request_gate.h), else
  // offers it to the handlers in list order, each one whose path is "" (offered every
  // request) or the request's path, until one answers; true when one did. Step thread.
  bool Route(IncomingRequest& request);

  // The generator the pages use for random choices (main thread only).
  std::mt19937& random() { return random_; }

  // The pool whose jobs answer this server's connections; until it is set, a connection that
  // closes drops no jobs. REQUIRES: `pool` outlives the server.
  void SetPool(MySystem::CThreadMgr* pool) { pool_ = pool; }

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>& responder) override;
  // Every request with a body is decided on its header block: refused there, or its body
  // streamed to its handler (an upload) or collected for the handlers that take it whole.
  BodyStreamOpener BodyStreamFor(std::string_view head,
                                 const std::shared_ptr<CHttp1Responder>& responder) override;
  void Log(const std::string& text) override;
  // Drops the jobs that were to answer the connection and have not started.
  bool OnPeerHungUp(const CHttp1Responder& responder) override;

 private:
  struct RouteEntry {
    std::string path;  // "" = every request
    CRequestProcess* handler;
  };
  // Whether the handler for `path` takes POST bodies as they arrive.
  bool StreamsPostBody(std::string_view path) const;
  // Route past the gate, from the handler at `first` in list order.
  bool RouteFrom(IncomingRequest& request, size_t first);
  // How many handlers at the head of the list are offered every request (the Digest check).
  size_t LeadingHandlers() const;
  // For a request that passed the gate, whose handlers take the body whole: the leading
  // handlers decide on the header block (null when one answered), a body past
  // kMaxPlainBodyBytes is answered 413 (null), else the stream that collects the body and
  // then routes the whole request on from the handlers after the leading ones.
  std::shared_ptr<CRequestBodyStream> OpenPlainBody(IncomingRequest request);

  std::vector<std::unique_ptr<CRequestProcess>> handlers_;
  std::vector<RouteEntry> routes_;  // handlers_ with their paths, in list order
  MySystem::CThreadMgr* pool_ = nullptr;
  std::mt19937 random_{5489u};
};
