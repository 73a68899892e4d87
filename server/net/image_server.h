// The HTTP layer over the socket server: cuts each request's target into path and
// parameters and offers it to the handler list in order until one answers.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "server/net/none_blocking_server.h"
#include "server/net/request_process.h"
#include "server/net/thread_mgr.h"

class CImageServer : public CNoneBlockingServer {
 public:
  explicit CImageServer(size_t max_connections = kDefaultMaxConnections);

  // Replaces the handler list (built once by the server start).
  void SetHandlers(std::vector<std::unique_ptr<CRequestProcess>> handlers);

  // Queues a complete response for a connection.
  void Respond(platform::SocketHandle socket, int32_t connection_id, std::string bytes);

  // The generator the pages use for random choices (main thread only).
  std::mt19937& random() { return random_; }

  // The pool whose jobs answer this server's connections (the process-wide one until set).
  // REQUIRES: `pool` outlives the server.
  void SetPool(MySystem::CThreadMgr* pool) { pool_ = pool; }

 protected:
  bool OnRequest(s_message& message) override;
  void Log(int code, const std::string& text) override;
  // Drops the jobs that were to answer the connection and have not started.
  bool OnPeerHungUp(platform::SocketHandle socket, int32_t connection_id) override;

 private:
  std::vector<std::unique_ptr<CRequestProcess>> handlers_;
  MySystem::CThreadMgr* pool_ = nullptr;
  std::mt19937 random_{5489u};
};
