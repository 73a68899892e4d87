#include "server/upnp/gateway_exchange.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/tcp_socket.h"

namespace {

constexpr size_t kChunkBytes = 10240;

// Waits until `socket` is ready for writing (or reading) or the deadline passes.
bool WaitUntil(platform::SocketHandle socket, bool want_write, int64_t deadline_ms) {
  int64_t left_ms = deadline_ms - platform::TickCountMs();
  if (left_ms <= 0) return false;
  std::vector<platform::ReadinessWatch> watch = {{socket, want_write}};
  return platform::WaitReady(&watch, static_cast<int>(left_ms * 1000)) > 0;
}

// Completes the connection; 0 or the error code (ETIMEDOUT when the deadline passed).
int AwaitConnection(platform::SocketHandle socket, int64_t deadline_ms) {
  if (!WaitUntil(socket, true, deadline_ms)) return ETIMEDOUT;
  return platform::ConnectResult(socket);
}

// Sends all of `data`; 0 or the error code.
int SendAll(platform::SocketHandle socket, std::string_view data, int64_t deadline_ms) {
  while (!data.empty()) {
    size_t sent = 0;
    int error = 0;
    switch (platform::SendSome(socket, data.data(), data.size(), &sent, &error)) {
      case platform::IoStatus::kDone:
        data.remove_prefix(sent);
        break;
      case platform::IoStatus::kWouldBlock:
        if (!WaitUntil(socket, true, deadline_ms)) return ETIMEDOUT;
        break;
      default:
        return error;
    }
  }
  return 0;
}

std::string ReadAnswer(platform::SocketHandle socket, int64_t deadline_ms) {
  std::string answer;
  std::vector<char> chunk(kChunkBytes);
  while (answer.size() < kMaxGatewayAnswerBytes) {
    size_t count = 0;
    int error = 0;
    size_t room = std::min(chunk.size(), kMaxGatewayAnswerBytes - answer.size());
    platform::IoStatus status = platform::ReceiveSome(socket, chunk.data(), room, &count, &error);
    if (status == platform::IoStatus::kDone) {
      answer.append(chunk.data(), count);
    } else if (status != platform::IoStatus::kWouldBlock ||
               !WaitUntil(socket, false, deadline_ms)) {
      break;
    }
  }
  return answer;
}

}  // namespace

std::string ExchangeWithGateway(const GatewayTarget& target, std::string_view request,
                                int64_t deadline_ms) {
  int error = 0;
  platform::SocketHandle socket = platform::ConnectTcp(target.host, target.port, &error);
  if (socket != platform::kInvalidSocket) error = AwaitConnection(socket, deadline_ms);
  if (error != 0) {
    std::printf("connect : %d\n", error);
    std::fflush(stdout);
    platform::CloseSocket(socket);
    return "";
  }
  std::string answer;
  error = SendAll(socket, request, deadline_ms);
  if (error != 0) {
    std::printf("send : %d\n", error);
    std::fflush(stdout);
  } else {
    answer = ReadAnswer(socket, deadline_ms);
  }
  platform::CloseSocket(socket);
  return answer;
}
