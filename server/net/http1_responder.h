// The responder of a request that arrived on an HTTP/1.1 connection of the socket server: its
// answers are written in HTTP/1.1 form and queued for that connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/tcp_socket.h"
#include "server/net/responder.h"

class CNoneBlockingServer;

class CHttp1Responder final : public CResponder {
 public:
  // `server` must outlive the responder's connection (Detach is called when it closes).
  CHttp1Responder(CNoneBlockingServer* server, platform::SocketHandle socket, int32_t connection_id)
      : server_(server), socket_(socket), connection_id_(connection_id) {}

  void Interim(Response response) override;
  void Respond(Response response) override;
  bool Gone() const override { return gone_.load(std::memory_order_acquire); }
  std::string PeerAddress() const override;
  void ResumeBody() override;

  // The connection has closed: later answers are dropped, never queued, since its socket
  // number may already name another connection. Loop thread.
  void Detach() { gone_.store(true, std::memory_order_release); }
  // The request is a HEAD: its answers go out without their bodies (their header lines, the
  // Content-Length included, as they are). REQUIRES: called before the request is routed.
  void OmitBody() { omit_body_ = true; }

  platform::SocketHandle socket() const { return socket_; }
  int32_t connection_id() const { return connection_id_; }

 private:
  void Post(int16_t final_flag, Response response);

  CNoneBlockingServer* const server_;
  const platform::SocketHandle socket_;
  const int32_t connection_id_;
  std::atomic<bool> gone_{false};
  bool omit_body_ = false;  // set on the loop thread before any job can answer
};
