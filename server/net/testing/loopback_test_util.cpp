#include "server/net/testing/loopback_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/clock.h"

SteppingThread::SteppingThread(CNoneBlockingServer* server)
    : thread_([this, server] {
        while (running_) {
          if (!server->Step()) server->WaitForWork(1);
        }
      }) {}

SteppingThread::~SteppingThread() {
  running_ = false;
  thread_.join();
}

int ConnectLoopback(int port, int receive_buffer) {
  return ConnectLoopbackFrom("127.0.0.1", port, receive_buffer);
}

int ConnectLoopbackFrom(const char* source, int port, int receive_buffer) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (receive_buffer > 0) {
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, source, &local.sin_addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(s);
    return -1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(s);
    return -1;
  }
  return s;
}

std::string ExchangeFrom(const char* source, int port, const std::string& request) {
  int s = ConnectLoopbackFrom(source, port);
  if (s < 0) return {};
  SendAll(s, request);
  std::string response = ReadUntilClosed(s);
  close(s);
  return response;
}

bool SendAll(int socket, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadUntilClosed(int socket, int timeout_ms, bool* closed) {
  return ReadBytes(socket, std::string::npos, timeout_ms, closed);
}

std::string ReadBytes(int socket, size_t count, int timeout_ms, bool* closed) {
  std::string received;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  if (closed != nullptr) *closed = false;
  while (received.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return received;
    pollfd fd{socket, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[65536];
    ssize_t n = recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (closed != nullptr) *closed = true;
      return received;
    }
    received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}

std::string Exchange(int port, const std::string& request) {
  return ExchangeFrom("127.0.0.1", port, request);
}

void CloseClient(int socket) { close(socket); }
