#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {

SocketHandle ListenTcp(const std::string& port, int backlog) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* result = nullptr;
  if (getaddrinfo(nullptr, port.c_str(), &hints, &result) != 0 || result == nullptr) {
    return kInvalidSocket;
  }
  SocketHandle s = socket(result->ai_family, result->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          result->ai_protocol);
  bool ok = s >= 0;
  if (ok) {
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ok = bind(s, result->ai_addr, result->ai_addrlen) == 0 && listen(s, backlog) == 0;
  }
  freeaddrinfo(result);
  if (!ok) {
    if (s >= 0) close(s);
    return kInvalidSocket;
  }
  return s;
}

int LocalPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

SocketHandle AcceptConnection(SocketHandle listener) {
  SocketHandle s = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return s >= 0 ? s : kInvalidSocket;
}

namespace {

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = nullptr;
  if (address.ss_family == AF_INET) {
    raw = &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr;
  }
  if (address.ss_family == AF_INET6) {
    raw = &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
  }
  if (raw == nullptr || inet_ntop(address.ss_family, raw, text, sizeof text) == nullptr) return {};
  return text;
}

}  // namespace

SocketHandle AcceptConnection(SocketHandle listener, std::string* peer) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  SocketHandle s =
      accept4(listener, reinterpret_cast<sockaddr*>(&address), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (s < 0) return kInvalidSocket;
  *peer = AddressText(address);
  return s;
}

void DeferAcceptUntilData(SocketHandle listener) {
  // In seconds: the kernel then repeats its handshake answer once, and a client that has
  // still sent nothing is handed over with the repeat's acknowledgement, so an idle client
  // is seen (and timed out, or evicted) as before, only later.
  int seconds = 1;
  setsockopt(listener, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
}

namespace {

// A port in decimal digits, 1 to 65535 (getaddrinfo would wrap a larger number).
bool IsPortText(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
  }
  unsigned long value = std::stoul(port);
  return value >= 1 && value <= 65535;
}

}  // namespace

SocketHandle ConnectTcp(const std::string& address, const std::string& port, int* error) {
  if (!IsPortText(port)) {
    *error = EINVAL;
    return kInvalidSocket;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* result = nullptr;
  if (getaddrinfo(address.c_str(), port.c_str(), &hints, &result) != 0 || result == nullptr) {
    *error = EINVAL;
    return kInvalidSocket;
  }
  SocketHandle s = socket(result->ai_family, result->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          result->ai_protocol);
  if (s < 0) {
    *error = errno;
  } else if (connect(s, result->ai_addr, result->ai_addrlen) != 0 && errno != EINPROGRESS) {
    *error = errno;
    close(s);
    s = kInvalidSocket;
  }
  freeaddrinfo(result);
  return s < 0 ? kInvalidSocket : s;
}

int ConnectResult(SocketHandle socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

namespace {

IoStatus Classify(ssize_t n, size_t* count, int* error) {
  if (n > 0) {
    *count = static_cast<size_t>(n);
    return IoStatus::kDone;
  }
  *count = 0;
  if (n == 0) return IoStatus::kClosed;
  *error = errno;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return IoStatus::kWouldBlock;
  return IoStatus::kError;
}

}  // namespace

std::string PeerAddress(SocketHandle socket) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {};
  return AddressText(address);
}

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}

IoStatus ReceiveSome(SocketHandle socket, char* buffer, size_t size, size_t* count, int* error) {
  return Classify(recv(socket, buffer, size, 0), count, error);
}

IoStatus SendSome(SocketHandle socket, const char* data, size_t size, size_t* count, int* error) {
  if (size == 0) {
    *count = 0;
    return IoStatus::kDone;
  }
  IoStatus status = Classify(send(socket, data, size, MSG_NOSIGNAL), count, error);
  return status == IoStatus::kClosed ? IoStatus::kWouldBlock : status;
}

IoStatus PeekByte(SocketHandle socket, unsigned char* byte, int* error) {
  size_t count = 0;
  return Classify(recv(socket, byte, 1, MSG_PEEK), &count, error);
}

void CloseSocket(SocketHandle socket) {
  if (socket >= 0) close(socket);
}

int WaitReady(std::vector<ReadinessWatch>* watches, int timeout_us) {
  // Kept for the next call: the connection loop waits thousands of times a second.
  thread_local std::vector<pollfd> fds;
  fds.resize(watches->size());
  for (size_t i = 0; i < fds.size(); ++i) {
    fds[i].fd = (*watches)[i].socket;
    const ReadinessWatch& watch = (*watches)[i];
    fds[i].events = watch.hang_up_only ? POLLRDHUP : watch.want_write ? POLLOUT : POLLIN;
  }
  timespec timeout{timeout_us / 1000000, static_cast<long>(timeout_us % 1000000) * 1000};
  int n = ppoll(fds.data(), fds.size(), &timeout, nullptr);
  for (size_t i = 0; i < fds.size(); ++i) (*watches)[i].ready = n > 0 && fds[i].revents != 0;
  return n > 0 ? n : 0;
}

}  // namespace platform
