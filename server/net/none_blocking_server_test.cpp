#include "server/net/none_blocking_server.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "platform/clock.h"
#include "server/net/loopback_test_util.h"

namespace {

// Records each request and answers it with its own bytes as the body, optionally in two
// pieces.
class EchoServer : public CNoneBlockingServer {
 public:
  explicit EchoServer(size_t max_connections = kDefaultMaxConnections, double timeout_ms = 300000)
      : CNoneBlockingServer(max_connections), timeout_ms_(timeout_ms) {}

  std::vector<std::string> requests;
  bool two_pieces = false;

 protected:
  bool OnRequest(s_message& message) override {
    requests.push_back(message.bytes);
    s_message response;
    response.socket = message.socket;
    response.connection_id = message.connection_id;
    if (two_pieces) {
      response.bytes = "first piece|";
      PostResponse(0, response);
      response.bytes = "second piece";
    } else {
      response.bytes =
          "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(message.bytes.size()) +
          "\r\n\r\n" + message.bytes;
    }
    PostFinalResponse(response);
    return true;
  }
  double GetTimeoutMs() override { return timeout_ms_; }

 private:
  double timeout_ms_;
};

// Steps the server on this thread until `done` holds or a second passes.
bool StepUntil(CNoneBlockingServer& server, const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    if (!server.Step()) server.WaitForWork(1);
  }
  return done();
}

// Steps for `ms` milliseconds.
void StepFor(CNoneBlockingServer& server, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!server.Step()) server.WaitForWork(1);
  }
}

class NoneBlockingServerTest : public ::testing::Test {
 protected:
  void StartServer(EchoServer& server) {
    ASSERT_TRUE(server.Start("0"));
    port_ = server.ListeningPort();
    ASSERT_GT(port_, 0);
  }
  int port_ = 0;
};

TEST_F(NoneBlockingServerTest, GetSplitOverTwoSendsIsOneRequest) {
  EchoServer server;
  StartServer(server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "GET /view?page=T-1-N-0 HTTP/1.1\r\nHo"));
  StepFor(server, 50);
  EXPECT_TRUE(server.requests.empty());
  ASSERT_TRUE(SendAll(client, "st: x\r\n\r\n"));
  ASSERT_TRUE(StepUntil(server, [&] { return !server.requests.empty(); }));
  StepFor(server, 20);
  ASSERT_EQ(server.requests.size(), 1u);
  EXPECT_EQ(server.requests[0], "GET /view?page=T-1-N-0 HTTP/1.1\r\nHost: x\r\n\r\n");
  bool closed = false;
  std::string response = ReadUntilClosed(client, 1000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_NE(response.find("\r\n\r\nGET /view"), std::string::npos);
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, LowerCaseContentLengthWaitsForTheLateBody) {
  EchoServer server;
  StartServer(server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "POST /upload.php HTTP/1.1\r\ncontent-length: 11\r\n\r\nhello"));
  StepFor(server, 60);
  EXPECT_TRUE(server.requests.empty());
  ASSERT_TRUE(SendAll(client, " world"));
  ASSERT_TRUE(StepUntil(server, [&] { return !server.requests.empty(); }));
  EXPECT_EQ(server.requests[0],
            "POST /upload.php HTTP/1.1\r\ncontent-length: 11\r\n\r\nhello world");
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, LargeBodyArrivesWhole) {
  EchoServer server;
  StartServer(server);
  std::string body(3 * 1024 * 1024 + 17, 'x');
  for (size_t i = 0; i < body.size(); i += 4099) body[i] = static_cast<char>('a' + i % 26);
  std::string request =
      "POST /p HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  int client = ConnectLoopback(port_);
  std::thread sender([&] { SendAll(client, request); });
  std::string response;
  std::thread reader([&] { response = ReadUntilClosed(client, 5000); });
  ASSERT_TRUE(StepUntil(server, [&] { return !server.requests.empty(); }));
  StepFor(server, 300);
  sender.join();
  reader.join();
  EXPECT_EQ(server.requests[0], request);
  EXPECT_EQ(response.substr(response.find("\r\n\r\n") + 4), request);
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, TwoPiecesArriveInOrderThenTheConnectionCloses) {
  EchoServer server;
  server.two_pieces = true;
  StartServer(server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "GET / HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(StepUntil(server, [&] { return !server.requests.empty(); }));
  StepFor(server, 20);
  bool closed = false;
  EXPECT_EQ(ReadUntilClosed(client, 1000, &closed), "first piece|second piece");
  EXPECT_TRUE(closed);
  EXPECT_EQ(server.ConnectionCount(), 0u);
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, PeerThatClosesWithoutSendingIsDroppedAtOnce) {
  EchoServer server;
  StartServer(server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(StepUntil(server, [&] { return server.ConnectionCount() == 1; }));
  CloseClient(client);
  EXPECT_TRUE(StepUntil(server, [&] { return server.ConnectionCount() == 0; }));
  EXPECT_TRUE(server.requests.empty());
}

TEST_F(NoneBlockingServerTest, FullTableLeavesTheNextConnectionInTheBacklog) {
  EchoServer server(2);
  StartServer(server);
  int a = ConnectLoopback(port_), b = ConnectLoopback(port_), c = ConnectLoopback(port_);
  ASSERT_GE(c, 0);  // the kernel completes the handshake; the server has not accepted it
  StepFor(server, 50);
  EXPECT_EQ(server.ConnectionCount(), 2u);
  ASSERT_TRUE(SendAll(c, "GET /c HTTP/1.1\r\n\r\n"));
  StepFor(server, 50);
  EXPECT_TRUE(server.requests.empty());
  CloseClient(a);
  ASSERT_TRUE(StepUntil(server, [&] { return server.requests.size() == 1; }));
  EXPECT_EQ(server.requests[0], "GET /c HTTP/1.1\r\n\r\n");
  CloseClient(b);
  CloseClient(c);
}

TEST_F(NoneBlockingServerTest, BadFramingIsAnsweredAndOthersAreStillServed) {
  struct Case {
    std::string request;
    std::string status_line;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\nX: " + std::string(70 * 1024, 'a'), "HTTP/1.1 431 "},
      {"GET / HTTP/1.1\r\nX: " + std::string(70 * 1024, 'a') + "\r\n\r\n", "HTTP/1.1 431 "},
      {"POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n", "HTTP/1.1 400 "},
      {"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", "HTTP/1.1 400 "},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!", "HTTP/1.1 400 "},
      {"POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n", "HTTP/1.1 413 "},
  };
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  for (const Case& c : cases) {
    std::string response = Exchange(port_, c.request);
    EXPECT_EQ(response.substr(0, c.status_line.size()), c.status_line) << c.request.substr(0, 60);
    EXPECT_NE(Exchange(port_, "GET /ok HTTP/1.1\r\n\r\n").find("200 OK"), std::string::npos);
  }
}

TEST_F(NoneBlockingServerTest, RandomBytesThenCloseLeaveTheServerAnswering) {
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string junk(1 + random() % 3000, '\0');
    for (char& ch : junk) ch = static_cast<char>(random() & 0xFF);
    int client = ConnectLoopback(port_);
    SendAll(client, junk);
    CloseClient(client);
  }
  EXPECT_NE(Exchange(port_, "GET /ok HTTP/1.1\r\n\r\n").find("200 OK"), std::string::npos);
}

TEST_F(NoneBlockingServerTest, BodyThatStopsShortIsNeverDispatched) {
  EchoServer server(CNoneBlockingServer::kDefaultMaxConnections, 150);
  StartServer(server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));
  bool closed = false;
  std::string response;
  std::thread reader([&] { response = ReadUntilClosed(client, 2000, &closed); });
  StepFor(server, 400);
  reader.join();
  EXPECT_TRUE(closed);
  EXPECT_EQ(response, "");
  EXPECT_TRUE(server.requests.empty());
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, BodyCutShortByTheClientsCloseIsAnswered) {
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "POST / HTTP/1.1\r\nContent-Length: 1000\r\n\r\nonly ten.."));
  shutdown(client, SHUT_WR);
  bool closed = false;
  EXPECT_EQ(ReadUntilClosed(client, 2000, &closed).substr(0, 13), "HTTP/1.1 400 ");
  EXPECT_TRUE(closed);
  CloseClient(client);
  EXPECT_TRUE(server.requests.empty());
}

TEST_F(NoneBlockingServerTest, ExpectContinueIsAnsweredBeforeTheBody) {
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  const std::string continue_line = "HTTP/1.1 100 Continue\r\n\r\n";
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(
      SendAll(client, "POST / HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-Continue\r\n\r\n"));
  EXPECT_EQ(ReadBytes(client, continue_line.size(), 2000), continue_line);
  ASSERT_TRUE(SendAll(client, "hello"));
  std::string response = ReadUntilClosed(client);
  EXPECT_EQ(response.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(response.substr(response.size() - 5), "hello");
  CloseClient(client);
  // Without the header, or with nothing left to send, there is no interim answer.
  for (const char* request : {"POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi",
                              "GET / HTTP/1.1\r\nExpect: 100-continue\r\n\r\n"}) {
    EXPECT_EQ(Exchange(port_, request).substr(0, 15), "HTTP/1.1 200 OK") << request;
  }
}

}  // namespace
