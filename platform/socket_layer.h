// The socket calls of the connection loop and the clock its time-outs are measured with,
// behind one interface: the system's sockets in the server, a scripted stand-in where the
// loop is driven by a test or a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp_socket.h"

namespace platform {

class SocketLayer {
 public:
  virtual ~SocketLayer() = default;

  // As ListenTcp, LocalPort, AcceptConnection, ReceiveSome, CloseSocket and WaitReady.
  virtual SocketHandle Listen(const std::string& port, int backlog) = 0;
  virtual int LocalPort(SocketHandle listener) = 0;
  virtual SocketHandle Accept(SocketHandle listener) = 0;
  virtual IoStatus Receive(SocketHandle socket, char* buffer, size_t size, size_t* count,
                           int* error) = 0;
  // Sends as much of `head` followed by `tail` as the socket takes now, in one call;
  // *count is the number of bytes taken from the two together. Never kClosed.
  virtual IoStatus Send(SocketHandle socket, std::string_view head, std::string_view tail,
                        size_t* count, int* error) = 0;
  // Sends up to `size` bytes of the open file `file` from `offset` without copying them
  // through the process (sendfile). kClosed when the file ends before `offset` + 1, as when
  // it was cut short after it was opened.
  virtual IoStatus SendFile(SocketHandle socket, int file, uint64_t offset, size_t size,
                            size_t* count, int* error) = 0;
  virtual void Close(SocketHandle socket) = 0;
  virtual int WaitReady(std::vector<ReadinessWatch>* watches, int timeout_us) = 0;
  // As PeerAddress.
  virtual std::string PeerAddress(SocketHandle socket) = 0;
  // Whether a connection must first finish a handshake before its request's first byte; its
  // header deadline then runs from its accept.
  virtual bool HandshakeFirst() { return false; }
  // As TickCountMs. Unlike the socket calls, it may be called from any thread: responses
  // are stamped with it where they are posted.
  virtual int64_t TickCountMs() = 0;
};

// The system's sockets and monotonic clock; one instance for the whole process.
SocketLayer& SystemSockets();

}  // namespace platform
