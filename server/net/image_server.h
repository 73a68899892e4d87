// The HTTP layer over the socket server: cuts each request's target into path and
// parameters and offers it to the handler list in order until one answers.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "server/net/none_blocking_server.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"

class CImageServer : public CNoneBlockingServer {
 public:
  explicit CImageServer(size_t max_connections = kDefaultMaxConnections);

  // Replaces the handler list (built once by the server start).
  void SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers);

  // Queues a complete response for a connection.
  void Respond(platform::SocketHandle socket, int32_t connection_id, std::string bytes);

  // The generator the pages use for random choices (main thread only).
  std::mt19937& random() { return random_; }

  // The pool whose jobs answer this server's connections; until it is set, a connection that
  // closes drops no jobs. REQUIRES: `pool` outlives the server.
  void SetPool(MySystem::CThreadMgr* pool) { pool_ = pool; }

 protected:
  bool OnRequest(s_message& message) override;
  // A request whose handler takes its body while it arrives: routed from its header block.
  bool WantsBodyStream(std::string_view head) override;
  std::shared_ptr<CRequestBodyStream> OpenBodyStream(platform::SocketHandle socket,
                                                     int32_t connection_id,
                                                     std::string_view head) override;
  void Log(int code, const std::string& text) override;
  // Drops the jobs that were to answer the connection and have not started.
  bool OnPeerHungUp(platform::SocketHandle socket, int32_t connection_id) override;

 private:
  // The handler whose own path is the request's: the one that answers it unless a handler
  // for every path ("") before it does. Null when there is none.
  CRequestProcess* RoutedHandler(const HttpRequest& request) const;
  // Offers the request to `handler` with the request's context so far, and passes the
  // handler's context on when it does so; nonzero when it handled the request.
  int Offer(CRequestProcess* handler, platform::SocketHandle socket, int32_t connection_id,
            const HttpRequest& request, std::vector<UserAccount>* context);

  std::vector<std::unique_ptr<CRequestProcess>> handlers_;
  MySystem::CThreadMgr* pool_ = nullptr;
  std::mt19937 random_{5489u};
};
