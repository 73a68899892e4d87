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
  // As Accept, and the peer's address as PeerAddress would give it.
  virtual SocketHandle AcceptWithPeer(SocketHandle listener, std::string* peer) {
    SocketHandle socket = Accept(listener);
    if (socket != kInvalidSocket) *peer = PeerAddress(socket);
    return socket;
  }
  virtual IoStatus Receive(SocketHandle socket, char* buffer, size_t size, size_t* count,
                           int* error) = 0;
  // Sends as much of `head` followed by `tail` as the socket takes now, in one call;
  // *count is the number of bytes taken from the two together. Never kClosed.
  virtual IoStatus Send(SocketHandle socket, std::string_view head, std::string_view tail,
                        size_t* count, int* error) = 0;
  // As Send, for bytes that end what the connection sends: the system may hold back their
  // last partial segment until the close, which then sends the end of the stream in it
  // instead of in a packet of its own. REQUIRES: the connection is closed as soon as the
  // last byte is taken, and its peer has sent nothing that is still unread (a close with
  // unread bytes resets the connection, and what was held back is lost).
  virtual IoStatus SendLast(SocketHandle socket, std::string_view head, std::string_view tail,
                            size_t* count, int* error) {
    return Send(socket, head, tail, count, error);
  }
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
  // The application protocol the connection's handshake chose ("h2", "http/1.1"); "" when
  // there was none to choose.
  virtual std::string Protocol(SocketHandle) const { return {}; }
  // As TickCountMs. Unlike the socket calls, it may be called from any thread: responses
  // are stamped with it where they are posted.
  virtual int64_t TickCountMs() = 0;
};

// The system's sockets and monotonic clock; one instance for the whole process.
SocketLayer& SystemSockets();

}  // namespace platform
