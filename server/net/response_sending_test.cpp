// Responses with a shared body on real loopback sockets: partial sends that end on either
// side of the edge between the header block and the body, and the bound on the bytes that
// queued responses hold.
#include <sys/socket.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/open_file.h"
#include "platform/socket_layer.h"
#include "platform/testing/test_folder.h"
#include "server/net/none_blocking_server.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

using Body = std::shared_ptr<const std::vector<uint8_t>>;

// The same bytes on every run.
Body PatternBody(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

std::string Text(const Body& body) {
  return std::string(body->begin(), body->end());
}

// The system's sockets, with every send's parts and result noted. Step thread only.
class RecordingSockets : public platform::SocketLayer {
 public:
  struct SendCall {
    size_t head = 0, tail = 0, count = 0;
  };
  std::vector<SendCall> sends;

  platform::SocketHandle Listen(const std::string& port, int backlog) override {
    return system_.Listen(port, backlog);
  }
  int LocalPort(platform::SocketHandle listener) override { return system_.LocalPort(listener); }
  platform::SocketHandle Accept(platform::SocketHandle listener) override {
    return system_.Accept(listener);
  }
  platform::IoStatus Receive(platform::SocketHandle socket, char* buffer, size_t size,
                             size_t* count, int* error) override {
    return system_.Receive(socket, buffer, size, count, error);
  }
  platform::IoStatus Send(platform::SocketHandle socket, std::string_view head,
                          std::string_view tail, size_t* count, int* error) override {
    platform::IoStatus status = system_.Send(socket, head, tail, count, error);
    if (status == platform::IoStatus::kDone) sends.push_back({head.size(), tail.size(), *count});
    return status;
  }
  platform::IoStatus SendFile(platform::SocketHandle socket, int file, uint64_t offset, size_t size,
                              size_t* count, int* error) override {
    platform::IoStatus status = system_.SendFile(socket, file, offset, size, count, error);
    if (status == platform::IoStatus::kDone) sends.push_back({0, size, *count});
    return status;
  }
  void Close(platform::SocketHandle socket) override { system_.Close(socket); }
  int WaitReady(std::vector<platform::ReadinessWatch>* watches, int timeout_us) override {
    return system_.WaitReady(watches, timeout_us);
  }
  std::string PeerAddress(platform::SocketHandle socket) override {
    return system_.PeerAddress(socket);
  }
  int64_t TickCountMs() override { return system_.TickCountMs(); }

 private:
  platform::SocketLayer& system_ = platform::SystemSockets();
};

// Answers "GET /<name>" with a header block of `header_padding` extra bytes and the shared
// body or the file registered under that name; the socket's send buffer is made small, so a
// reader that does not read holds the response in the queue.
class BodyServer : public CNoneBlockingServer {
 public:
  explicit BodyServer(platform::SocketLayer* sockets = &platform::SystemSockets(),
                      size_t limit = kMaxQueuedResponseBytes)
      : CNoneBlockingServer(kDefaultMaxConnections, sockets), limit_(limit) {}

  std::vector<std::pair<std::string, Body>> bodies;
  std::vector<std::pair<std::string, std::shared_ptr<const platform::OpenFile>>> files;
  size_t header_padding = 0;
  std::atomic<int> answered{0};

  std::string Header(size_t body_size) const {
    return "HTTP/1.1 200 OK\r\nX-Padding: " + std::string(header_padding, 'p') +
           "\r\nContent-Length: " + std::to_string(body_size) + "\r\n\r\n";
  }
  std::string Header(const Body& body) const { return Header(body->size()); }

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    int small = 4096;
    setsockopt(message.socket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    s_message response;
    response.socket = message.socket;
    response.connection_id = message.connection_id;
    auto named = [&](const std::string& name) {
      return message.bytes.rfind("GET /" + name + " ", 0) == 0;
    };
    for (const auto& [name, body] : bodies) {
      if (named(name)) response.body = body;
    }
    for (const auto& [name, file] : files) {
      if (named(name)) response.file = file;
    }
    response.bytes = Header(response.size());
    PostFinalResponse(std::move(response));
    ++answered;
    return true;
  }
  size_t GetResponseByteLimit() override { return limit_; }

 private:
  size_t limit_;
};

// Reads a response in small pieces, so the server's sends keep meeting a full buffer; gives
// up after 5 s without a byte.
std::string ReadSlowly(int socket) {
  timeval limit{5, 0};
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string received;
  char buffer[1500];
  for (;;) {
    ssize_t n = recv(socket, buffer, sizeof buffer, 0);
    if (n <= 0) return received;
    received.append(buffer, static_cast<size_t>(n));
  }
}

void WaitFor(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(ResponseSendingTest, PartialSendsOnBothSidesOfTheBodyEdgeDeliverTheSameBytes) {
  TestFolder folder;
  Body body = PatternBody(300000, 7);
  const std::string path = folder.Write("picture.jpg", Text(body));
  // The same bytes from a shared buffer (header and body in one call where they fit) and
  // from a file (the header's calls, then the file's).
  for (bool from_file : {false, true}) {
    RecordingSockets sockets;
    BodyServer server(&sockets);
    server.header_padding = 20000;  // a header block larger than the socket takes at once
    if (from_file) {
      server.files = {{"picture", platform::OpenFile::Open(path)}};
    } else {
      server.bodies = {{"picture", body}};
    }
    ASSERT_TRUE(server.Start("0"));
    std::string received;
    {
      SteppingThread stepping(&server);
      int client = ConnectLoopback(server.ListeningPort(), 4096);
      ASSERT_GE(client, 0);
      ASSERT_TRUE(SendAll(client, "GET /picture HTTP/1.1\r\n\r\n"));
      received = ReadSlowly(client);
      CloseClient(client);
    }
    EXPECT_TRUE(received == server.Header(body) + Text(body)) << received.size();
    size_t ended_in_header = 0, crossed_edge = 0, within_body = 0;
    for (const auto& call : sockets.sends) {
      if (call.count < call.head) ++ended_in_header;
      if (call.head > 0 && call.count > call.head) ++crossed_edge;
      if (call.head == 0) ++within_body;
    }
    EXPECT_GT(ended_in_header, 0u) << from_file;
    EXPECT_EQ(crossed_edge, from_file ? 0u : 1u);
    EXPECT_GT(within_body, 10u) << from_file;
  }
}

TEST(ResponseSendingTest, FileCutShortWhileBeingSentClosesTheConnection) {
  TestFolder folder;
  const std::string path = folder.Write("picture.jpg", Text(PatternBody(2000000, 3)));
  BodyServer server;
  server.files = {{"picture", platform::OpenFile::Open(path)}};
  ASSERT_TRUE(server.Start("0"));
  SteppingThread stepping(&server);
  int client = ConnectLoopback(server.ListeningPort(), 4096);
  ASSERT_TRUE(SendAll(client, "GET /picture HTTP/1.1\r\n\r\n"));
  std::string received = ReadBytes(client, 1000);
  std::filesystem::resize_file(path, 100000);
  bool closed = false;
  received += ReadUntilClosed(client, 5000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(received.size(), server.Header(2000000).size() + 2000000);
  CloseClient(client);
}

TEST(ResponseSendingTest, QueuedBytesPastTheLimitAreAnswered503AndASharedBodyCountsOnce) {
  Body shared = PatternBody(300000, 1), other = PatternBody(300000, 2);
  BodyServer server(&platform::SystemSockets(), 500000);
  server.bodies = {{"shared", shared}, {"other", other}};
  ASSERT_TRUE(server.Start("0"));
  SteppingThread stepping(&server);
  const int port = server.ListeningPort();
  // Readers that do not read yet: their answers stay queued.
  std::vector<int> readers;
  for (const char* request : {"GET /shared HTTP/1.1\r\n\r\n", "GET /shared HTTP/1.1\r\n\r\n"}) {
    readers.push_back(ConnectLoopback(port, 4096));
    ASSERT_TRUE(SendAll(readers.back(), request));
    int expected = static_cast<int>(readers.size());
    WaitFor([&] { return server.answered == expected; });
  }
  EXPECT_EQ(server.QueuedResponseBytes(), 2 * server.Header(shared).size() + shared->size());

  EXPECT_EQ(Exchange(port, "GET /other HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: Close\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n");

  for (int reader : readers) {
    EXPECT_TRUE(ReadUntilClosed(reader) == server.Header(shared) + Text(shared));
    CloseClient(reader);
  }
  WaitFor([&] { return server.QueuedResponseBytes() == 0; });
  EXPECT_EQ(server.QueuedResponseBytes(), 0u);
  EXPECT_TRUE(Exchange(port, "GET /other HTTP/1.1\r\n\r\n") == server.Header(other) + Text(other));
}

}  // namespace
