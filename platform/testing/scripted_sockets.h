// A SocketLayer that touches no system socket: a script (a test or a fuzzer) decides when
// connections arrive, which bytes they deliver, how much each send may take, when peers
// close or connections break, and how time advances. Everything the loop sends is kept per
// connection. Handles are never reused, so a call on a handle after its Close is caught.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "platform/socket_layer.h"

namespace platform {

class ScriptedSockets : public SocketLayer {
 public:
  // Far above the descriptors the process really holds, so the two never meet in one watch list.
  static constexpr SocketHandle kListener = 1000000;
  static constexpr size_t kUnlimited = static_cast<size_t>(-1);

  // The script's side.
  // A connection waits to be accepted; returns the handle it will have.
  SocketHandle Connect();
  void Deliver(SocketHandle socket, std::string bytes);
  // The peer ends its sending side: reads return kClosed once the delivered bytes are read.
  void PeerClose(SocketHandle socket);
  // Every further call on the connection fails with kError.
  void Break(SocketHandle socket);
  // How many bytes sends may take from now on, in total (0: sends would block).
  void SetSendRoom(SocketHandle socket, size_t bytes);
  void Advance(int64_t ms) { now_ms_ += ms; }

  // What the script can see.
  const std::string& Sent(SocketHandle socket) const;
  bool ClosedByLoop(SocketHandle socket) const;
  bool IsBroken(SocketHandle socket) const;
  // The handles accepted so far, in order.
  std::vector<SocketHandle> Accepted() const;
  // The first misuse seen (a call on an unknown or closed handle, a second Close), or "".
  const std::string& misuse() const { return misuse_; }

  // SocketLayer.
  SocketHandle Listen(const std::string& port, int backlog) override;
  int LocalPort(SocketHandle listener) override;
  SocketHandle Accept(SocketHandle listener) override;
  IoStatus Receive(SocketHandle socket, char* buffer, size_t size, size_t* count,
                   int* error) override;
  IoStatus Send(SocketHandle socket, std::string_view head, std::string_view tail, size_t* count,
                int* error) override;
  // Reads the file with pread, so a test may pass a real file.
  IoStatus SendFile(SocketHandle socket, int file, uint64_t offset, size_t size, size_t* count,
                    int* error) override;
  void Close(SocketHandle socket) override;
  int WaitReady(std::vector<ReadinessWatch>* watches, int timeout_us) override;
  std::string PeerAddress(SocketHandle socket) override;
  int64_t TickCountMs() override { return now_ms_; }

 private:
  struct Connection {
    bool accepted = false;
    std::deque<std::string> inbound;
    bool peer_closed = false;
    bool broken = false;
    size_t send_room = kUnlimited;
    std::string sent;
    bool closed = false;
  };
  // The open connection behind `socket` for a call named `call`; nullptr (and a misuse
  // noted) when there is none.
  Connection* Open(SocketHandle socket, const char* call);
  bool Ready(SocketHandle socket, bool want_write) const;

  std::map<SocketHandle, Connection> connections_;
  std::deque<SocketHandle> pending_accepts_;
  SocketHandle next_handle_ = kListener + 1;
  bool listening_ = false;
  int64_t now_ms_ = 1000000;
  std::string misuse_;
};

}  // namespace platform
