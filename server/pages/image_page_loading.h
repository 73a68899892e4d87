// The worker job that builds one image page: it hands the request to the page builder of the
// handler that queued it, off the server loop.
#pragma once

#include <cstdint>

#include "platform/tcp_socket.h"
#include "server/net/request.h"
#include "server/threads/thread_mgr.h"

class CImagePageProcess;
class CImageServer;

class CImagePageLoading : public CThreadCommand {
 public:
  // `handler` and `server` must outlive the job; the request is copied.
  CImagePageLoading(CImagePageProcess* handler, CImageServer* server, platform::SocketHandle socket,
                    int32_t connection_id, s_request request)
      : handler_(handler),
        server_(server),
        socket_(socket),
        connection_id_(connection_id),
        request_(std::move(request)) {}

  // Builds and posts the page for the connection. Returns 0.
  int Run() override;

 private:
  CImagePageProcess* handler_;
  CImageServer* server_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  s_request request_;
};
