// The worker job that answers one "/next_url" request off the server loop.
#pragma once

#include <cstdint>

#include "platform/tcp_socket.h"
#include "server/catalogue/page_keys.h"
#include "server/net/request.h"
#include "server/threads/thread_mgr.h"

class CNextPageDataProcess;
class CImageServer;

class CNextPageDataLoading : public CThreadCommand {
 public:
  // `handler` and `server` must outlive the job; the key and request are copied.
  CNextPageDataLoading(CNextPageDataProcess* handler, CImageServer* server,
                       platform::SocketHandle socket, int32_t connection_id, ImageKey key,
                       s_request request)
      : handler_(handler),
        server_(server),
        socket_(socket),
        connection_id_(connection_id),
        key_(std::move(key)),
        request_(std::move(request)) {}

  // Builds and posts the reply for the connection. Returns 0.
  int Run() override;

 private:
  CNextPageDataProcess* handler_;
  CImageServer* server_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  ImageKey key_;
  s_request request_;
};
