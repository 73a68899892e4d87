// The socket server's connection loop over scripted sockets. The input is a script of
// operations: clients connect, deliver request pieces or raw bytes, let sends take only so
// many bytes, close their side or break, time passes, the loop steps, and the handler answers
// a request (an interim piece, then a header block with a body shared between answers or
// with a file).
// Checked: no crash and no call on a closed handle; what a client receives is always a
// prefix of its answer and, once it reads freely, the whole answer before the close; every
// connection closes once its time is up; the bytes counted for queued answers stay within
// the limit and return to zero when every connection is gone.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "platform/testing/scripted_sockets.h"
#include "server/net/none_blocking_server.h"

namespace {

using platform::ScriptedSockets;
using platform::SocketHandle;

constexpr size_t kResponseLimit = 64 * 1024;
constexpr size_t kMaxClients = 64;
constexpr double kTimeoutMs = 300000;
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
constexpr std::string_view kInterim = "HTTP/1.1 103 Early Hints\r\nLink: </a.js>\r\n\r\n";
constexpr std::string_view kRefused =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: Close\r\n"
    "X-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n";

// What one client should see of the answer to its request.
struct Expected {
  std::string whole;    // the answer as posted
  std::string refused;  // the answer had the limit refused it
  int64_t dispatched_ms = 0;
  bool answered = false;
};

class ScriptedServer : public CNoneBlockingServer {
 public:
  explicit ScriptedServer(ScriptedSockets* sockets)
      : CNoneBlockingServer(8, sockets), sockets_(sockets) {}

  std::deque<std::pair<SocketHandle, int32_t>> unanswered;
  std::map<SocketHandle, Expected> expected;

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    unanswered.push_back({message.socket, message.connection_id});
    expected[message.socket].dispatched_ms = sockets_->TickCountMs();
    return true;
  }
  size_t GetResponseByteLimit() override { return kResponseLimit; }
  double GetTimeoutMs() override { return kTimeoutMs; }

 private:
  ScriptedSockets* sockets_;
};

// Reads the script one byte at a time; 0 once it is used up.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string Bytes(size_t count) {
    count = std::min(count, size_ - pos_);
    std::string bytes(reinterpret_cast<const char*>(data_ + pos_), count);
    pos_ += count;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

const char* const kPieces[] = {
    "GET / HTTP/1.1\r\n\r\n",
    "GET /image?page=1-N-0 HTTP/1.1\r\nHost: x\r\n",
    "\r\n",
    "POST /upload.php HTTP/1.1\r\nContent-Length: 5\r\n",
    "Expect: 100-continue\r\n\r\n",
    "abcde",
    "GET / HTTP/1.1\n\n",
    "POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n",
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The bytes a client has read, without the interim answer the loop itself may have sent.
std::string_view Answer(const ScriptedSockets& sockets, SocketHandle socket) {
  std::string_view sent = sockets.Sent(socket);
  if (sent.substr(0, kContinue.size()) == kContinue) sent.remove_prefix(kContinue.size());
  return sent;
}

bool IsPrefix(std::string_view part, std::string_view whole) {
  return whole.substr(0, part.size()) == part;
}

void CheckStep(ScriptedServer& server, const ScriptedSockets& sockets) {
  Check(sockets.misuse().empty());
  for (const auto& [socket, expected] : server.expected) {
    if (!expected.answered) continue;
    std::string_view answer = Answer(sockets, socket);
    Check(IsPrefix(answer, expected.whole) || IsPrefix(answer, expected.refused));
  }
  // Interim pieces and refusals are queued outside the limit; they are small, one of each
  // per client at most.
  Check(server.QueuedResponseBytes() <= kResponseLimit + kMaxClients * 256);
}

// What answers carry after their header: shared bodies (one over the limit, two that fit
// only one at a time), and a file sent from its descriptor.
struct Payloads {
  std::vector<std::shared_ptr<const std::vector<uint8_t>>> bodies;
  std::shared_ptr<const platform::OpenFile> file;
  std::string file_bytes;

  Payloads() {
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{3000}, size_t{40000}, size_t{40000}, kResponseLimit + 1}) {
      std::vector<uint8_t> body(size);
      for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>(i * 7 + size);
      bodies.push_back(std::make_shared<const std::vector<uint8_t>>(std::move(body)));
    }
    file_bytes.assign(5000, 'f');
    int fd = memfd_create("answer", MFD_CLOEXEC);
    Check(write(fd, file_bytes.data(), file_bytes.size()) ==
          static_cast<ssize_t>(file_bytes.size()));
    file = platform::OpenFile::Open("/proc/self/fd/" + std::to_string(fd));
    close(fd);
    Check(file != nullptr);
  }
};

// The handler answers one of the requests not answered yet, chosen by the script.
void PostAnswer(ScriptedServer& server, Script& script, const Payloads& payloads) {
  if (server.unanswered.empty()) return;
  size_t which = script.Next() % server.unanswered.size();
  auto [socket, connection_id] = server.unanswered[which];
  server.unanswered.erase(server.unanswered.begin() + static_cast<std::ptrdiff_t>(which));
  uint8_t choice = script.Next();
  Expected& expected = server.expected[socket];
  expected.answered = true;
  s_message message;
  message.socket = socket;
  message.connection_id = connection_id;
  if (choice & 0x80) {
    message.bytes = kInterim;
    server.PostResponse(0, message);
    expected.whole = expected.refused = kInterim;
  }
  size_t pick = choice % (payloads.bodies.size() + 1);
  if (pick < payloads.bodies.size()) {
    message.body = payloads.bodies[pick];
  } else {
    message.file = payloads.file;
  }
  message.bytes =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(message.size()) + "\r\n\r\n";
  expected.whole += message.bytes;
  if (message.body) expected.whole.append(message.body->begin(), message.body->end());
  if (message.file) expected.whole += payloads.file_bytes;
  expected.refused += kRefused;
  server.PostFinalResponse(std::move(message));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedSockets sockets;
  ScriptedServer server(&sockets);
  Check(server.Start("0"));
  const Payloads payloads;

  std::vector<SocketHandle> clients;
  auto client = [&](Script& script) {
    return clients.empty() ? platform::kInvalidSocket : clients[script.Next() % clients.size()];
  };
  Script script(data, size);
  while (!script.done()) {
    switch (script.Next() % 9) {
      case 0:
        if (clients.size() < kMaxClients) clients.push_back(sockets.Connect());
        break;
      case 1:
        if (SocketHandle c = client(script); c != platform::kInvalidSocket) {
          sockets.Deliver(c, kPieces[script.Next() % std::size(kPieces)]);
        }
        break;
      case 2:
        if (SocketHandle c = client(script); c != platform::kInvalidSocket) {
          sockets.Deliver(c, script.Bytes(script.Next()));
        }
        break;
      case 3:
        if (SocketHandle c = client(script); c != platform::kInvalidSocket) {
          uint8_t room = script.Next();
          sockets.SetSendRoom(c, room == 255 ? ScriptedSockets::kUnlimited : room * size_t{97});
        }
        break;
      case 4:
        sockets.PeerClose(client(script));
        break;
      case 5:
        sockets.Break(client(script));
        break;
      case 6: {
        int64_t step = script.Next();
        sockets.Advance(step * step * 10);
        break;
      }
      case 7:
        server.Step();
        CheckStep(server, sockets);
        break;
      case 8:
        PostAnswer(server, script, payloads);
        break;
    }
  }

  // Clients that read freely get every answer whole, and the connection closes after it.
  for (SocketHandle c : clients) sockets.SetSendRoom(c, ScriptedSockets::kUnlimited);
  for (int i = 0; i < 4; ++i) server.Step();
  CheckStep(server, sockets);
  for (const auto& [socket, expected] : server.expected) {
    // An answer that has made no progress for the stall time may have been closed before.
    bool in_time = sockets.TickCountMs() - expected.dispatched_ms < CNoneBlockingServer::kStallMs;
    if (!expected.answered || sockets.IsBroken(socket) || !in_time) continue;
    Check(sockets.ClosedByLoop(socket));
    std::string_view answer = Answer(sockets, socket);
    Check(answer == expected.whole || answer == expected.refused);
  }

  // Once their time is up, every connection goes, and nothing stays counted.
  std::vector<SocketHandle> accepted;
  for (int round = 0; round < 3; ++round) {
    accepted = sockets.Accepted();
    sockets.Advance(static_cast<int64_t>(kTimeoutMs) + 1);
    server.Step();
  }
  for (SocketHandle c : accepted) Check(sockets.ClosedByLoop(c));
  Check(sockets.misuse().empty());
  if (server.ConnectionCount() == 0) Check(server.QueuedResponseBytes() == 0);
  return 0;
}
