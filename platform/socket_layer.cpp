#include "platform/socket_layer.h"

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>

#include "platform/clock.h"

namespace platform {

namespace {

IoStatus Result(ssize_t n, size_t* count, int* error) {
  *count = n > 0 ? static_cast<size_t>(n) : 0;
  if (n >= 0) return IoStatus::kDone;
  *error = errno;
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? IoStatus::kWouldBlock
                                                                   : IoStatus::kError;
}

// One sendmsg for both parts: a header block and its body leave in the same segments, and
// the body is read where it lies instead of being copied behind the header.
IoStatus SendParts(SocketHandle socket, std::string_view head, std::string_view tail, int flags,
                   size_t* count, int* error) {
  if (head.empty() && tail.empty()) {
    *count = 0;
    return IoStatus::kDone;
  }
  iovec parts[2];
  int used = 0;
  for (std::string_view part : {head, tail}) {
    if (part.empty()) continue;
    parts[used].iov_base = const_cast<char*>(part.data());
    parts[used].iov_len = part.size();
    ++used;
  }
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = static_cast<size_t>(used);
  return Result(sendmsg(socket, &message, MSG_NOSIGNAL | flags), count, error);
}

class SystemSocketLayer : public SocketLayer {
 public:
  SocketHandle Listen(const std::string& port, int backlog) override {
    SocketHandle listener = ListenTcp(port, backlog);
    if (listener != kInvalidSocket) DeferAcceptUntilData(listener);
    return listener;
  }
  int LocalPort(SocketHandle listener) override { return platform::LocalPort(listener); }
  SocketHandle Accept(SocketHandle listener) override { return AcceptConnection(listener); }
  SocketHandle AcceptWithPeer(SocketHandle listener, std::string* peer) override {
    return AcceptConnection(listener, peer);
  }
  IoStatus Receive(SocketHandle socket, char* buffer, size_t size, size_t* count,
                   int* error) override {
    return ReceiveSome(socket, buffer, size, count, error);
  }
  IoStatus Send(SocketHandle socket, std::string_view head, std::string_view tail, size_t* count,
                int* error) override {
    return SendParts(socket, head, tail, 0, count, error);
  }
  IoStatus SendLast(SocketHandle socket, std::string_view head, std::string_view tail,
                    size_t* count, int* error) override {
    return SendParts(socket, head, tail, MSG_MORE, count, error);
  }
  IoStatus SendFile(SocketHandle socket, int file, uint64_t offset, size_t size, size_t* count,
                    int* error) override {
    off_t from = static_cast<off_t>(offset);
    ssize_t n = sendfile(socket, file, &from, size);
    if (n == 0 && size > 0) {
      *count = 0;
      return IoStatus::kClosed;
    }
    return Result(n, count, error);
  }
  void Close(SocketHandle socket) override { CloseSocket(socket); }
  int WaitReady(std::vector<ReadinessWatch>* watches, int timeout_us) override {
    return platform::WaitReady(watches, timeout_us);
  }
  std::string PeerAddress(SocketHandle socket) override { return platform::PeerAddress(socket); }
  int64_t TickCountMs() override { return platform::TickCountMs(); }
};

}  // namespace

SocketLayer& SystemSockets() {
  static SystemSocketLayer layer;
  return layer;
}

}  // namespace platform
