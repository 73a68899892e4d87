#include "server/net/none_blocking_server.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "platform/clock.h"
#include "server/net/request_framing.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

// Records each request and answers it with its own bytes as the body, optionally in two
// pieces.
class EchoServer : public CNoneBlockingServer {
 public:
  explicit EchoServer(size_t max_connections = kDefaultMaxConnections, double timeout_ms = 300000)
      : CNoneBlockingServer(max_connections), timeout_ms_(timeout_ms) {}

  std::vector<std::string> requests;
  std::vector<s_message> held;
  bool two_pieces = false;
  bool hold = false;  // take requests without ever answering them
  double header_deadline_ms = kHeaderDeadlineMs;
  double stall_ms = kStallMs;
  double progress_window_ms = kProgressWindowMs;  // read by Start
  std::string padding;                            // appended to each answer's body

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    requests.push_back(message.bytes);
    if (hold) {
      held.push_back(message);
      return true;
    }
    s_message response;
    response.socket = message.socket;
    response.connection_id = message.connection_id;
    if (two_pieces) {
      response.bytes = "first piece|";
      PostResponse(0, response);
      response.bytes = "second piece";
    } else {
      response.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " +
                       std::to_string(message.bytes.size() + padding.size()) + "\r\n\r\n" +
                       message.bytes + padding;
    }
    PostFinalResponse(response);
    return true;
  }
  double GetTimeoutMs() override { return timeout_ms_; }
  double GetHeaderDeadlineMs() override { return header_deadline_ms; }
  double GetStallMs() override { return stall_ms; }
  double GetProgressWindowMs() override { return progress_window_ms; }

 private:
  double timeout_ms_;
};

// Answers every request with an empty 200 and keeps only its size.
class SizeServer : public CNoneBlockingServer {
 public:
  std::atomic<int> answered{0};

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    s_message response;
    response.socket = message.socket;
    response.connection_id = message.connection_id;
    response.bytes =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(message.bytes.size()) + "\r\n\r\n";
    PostFinalResponse(response);
    ++answered;
    return true;
  }
};

// Takes bodies of "POST /stream" requests as they arrive and answers with their size. Its
// streams hold what they are given until `released`: Full once they hold a window's worth.
class StreamServer : public CNoneBlockingServer {
 public:
  struct Stream : CRequestBodyStream {
    StreamServer* server;
    platform::SocketHandle socket;
    int32_t connection_id;
    void Append(std::string bytes) override { server->received += bytes.size(); }
    bool Full() override { return !server->released && server->received >= kBodyStreamWindowBytes; }
    void Finish() override {
      s_message answer;
      answer.socket = socket;
      answer.connection_id = connection_id;
      answer.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Body: " +
                     std::to_string(server->received.load()) + "\r\n\r\n";
      server->PostFinalResponse(answer);
    }
    void Abandon() override { server->abandoned = true; }
  };

  std::atomic<size_t> received{0};
  std::atomic<bool> released{false};
  std::atomic<bool> abandoned{false};
  bool answer_at_once = false;  // answer from the header block, as a failed Digest check does
  double timeout_ms = 300000;

 protected:
  double GetTimeoutMs() override { return timeout_ms; }
  BodyStreamOpener BodyStreamFor(std::string_view head,
                                 const std::shared_ptr<CHttp1Responder>& responder) override {
    if (head.rfind("POST /stream ", 0) != 0) return {};
    return [this, responder] {
      return OpenBodyStream(responder->socket(), responder->connection_id());
    };
  }
  std::shared_ptr<CRequestBodyStream> OpenBodyStream(platform::SocketHandle socket,
                                                     int32_t connection_id) {
    if (answer_at_once) {
      s_message answer;
      answer.socket = socket;
      answer.connection_id = connection_id;
      answer.bytes = "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n";
      PostFinalResponse(answer);
      return nullptr;
    }
    auto stream = std::make_shared<Stream>();
    stream->server = this;
    stream->socket = socket;
    stream->connection_id = connection_id;
    return stream;
  }
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    s_message answer;
    answer.socket = message.socket;
    answer.connection_id = message.connection_id;
    answer.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    PostFinalResponse(answer);
    return true;
  }
};

// The peak resident set size of this process, in KiB.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Steps the server on this thread until `done` holds or five seconds pass (the kernel hands
// over a connection that sends nothing only after about a second).
bool StepUntil(CNoneBlockingServer& server, const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
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

// The close that follows an answer leaves with the answer's last segment when the client has
// sent nothing more. Bytes it sent past its request, read with it or left unread (past what
// one read takes), must not cost it the answer: a close with unread bytes is a reset, which
// drops what the socket still holds back.
TEST_F(NoneBlockingServerTest, AnswerArrivesWholeWithOrWithoutBytesPastTheRequest) {
  const std::string request = "GET /a HTTP/1.1\r\n\r\n";
  const std::string read_with = "GET /b HTTP/1.1\r\n\r\n", unread(100000, 'x');
  const std::string large(300000, 'p');  // sent over several passes
  struct Case {
    std::string padding, after;
  };
  for (const Case& c : {Case{"", ""}, Case{"", read_with}, Case{"", unread}, Case{large, ""},
                        Case{large, read_with}}) {
    EchoServer server;
    server.padding = c.padding;
    StartServer(server);
    int client = ConnectLoopback(port_);
    std::string response;
    bool closed = false;
    // The bytes past one read may not fit the socket's buffers until the server closes.
    std::thread peer([&] {
      SendAll(client, request + c.after);
      response = ReadUntilClosed(client, 3000, &closed);
    });
    StepUntil(server, [&] { return server.ConnectionCount() == 0 && !server.requests.empty(); });
    peer.join();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(response == "HTTP/1.1 200 OK\r\nContent-Length: " +
                                std::to_string(request.size() + c.padding.size()) + "\r\n\r\n" +
                                request + c.padding)
        << c.padding.size() << " " << c.after.size() << ": " << response.size();
    CloseClient(client);
  }
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

TEST_F(NoneBlockingServerTest, FullTableOfWholeRequestsLeavesTheNextInTheBacklog) {
  EchoServer server(2);
  server.hold = true;
  StartServer(server);
  int a = ConnectLoopback(port_), b = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(a, "GET /a HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(SendAll(b, "GET /b HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(StepUntil(server, [&] { return server.requests.size() == 2; }));
  int c = ConnectLoopback(port_);
  ASSERT_GE(c, 0);  // the kernel completes the handshake; the server has not accepted it
  ASSERT_TRUE(SendAll(c, "GET /c HTTP/1.1\r\n\r\n"));
  StepFor(server, 50);
  EXPECT_EQ(server.requests.size(), 2u);
  s_message answer = server.held[0];
  answer.bytes = "HTTP/1.1 204 No Content\r\n\r\n";
  server.PostFinalResponse(answer);
  ASSERT_TRUE(StepUntil(server, [&] { return server.requests.size() == 3; }));
  EXPECT_EQ(server.requests[2], "GET /c HTTP/1.1\r\n\r\n");
  CloseClient(b);
  CloseClient(c);
}

TEST_F(NoneBlockingServerTest, FullTableMakesRoomByClosingTheOldestIncomplete) {
  EchoServer server(3);
  server.progress_window_ms = 50;
  StartServer(server);
  // Oldest first: a header on its way, an idle connection, then a body on its way.
  int header = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(header, "GET /slow HTTP/1.1\r\nHo"));
  ASSERT_TRUE(StepUntil(server, [&] { return server.ConnectionCount() == 1; }));
  int body = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(body, "POST /upload.php HTTP/1.1\r\nContent-Length: 9\r\n\r\nabc"));
  ASSERT_TRUE(StepUntil(server, [&] { return server.ConnectionCount() == 2; }));
  int idle = ConnectLoopback(port_);
  ASSERT_TRUE(StepUntil(server, [&] { return server.ConnectionCount() == 3; }));
  StepFor(server, 20);

  // Each whole request (held unanswered, so it keeps its place) takes the place of an
  // incomplete one: headers first, in accept order, and the upload, stalled, last.
  server.hold = true;
  std::vector<int> whole;
  for (int evicted : {header, idle, body}) {
    int client = ConnectLoopback(port_);
    ASSERT_TRUE(SendAll(client, "GET /ok HTTP/1.1\r\n\r\n"));
    whole.push_back(client);
    bool closed = false;
    std::thread reader([&] { ReadUntilClosed(evicted, 2000, &closed); });
    StepFor(server, 100);
    reader.join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(server.requests.size(), whole.size());
  }
  for (int client : whole) CloseClient(client);
  for (int client : {header, body, idle}) CloseClient(client);
}

TEST_F(NoneBlockingServerTest, FloodFromOneAddressIsCappedAndLocksNobodyOut) {
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  std::vector<int> slow;
  for (int i = 0; i < 1100; ++i) {
    int client = ConnectLoopback(port_);
    ASSERT_GE(client, 0) << i;
    SendAll(client, "G");
    slow.push_back(client);
  }
  auto start = std::chrono::steady_clock::now();
  std::string response = ExchangeFrom("127.0.0.2", port_, "GET /ok HTTP/1.1\r\n\r\n");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_NE(response.find("200 OK"), std::string::npos);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  // The address holds its share; the connections past it were closed as they came.
  ASSERT_TRUE(StepUntil(server, [&] { return true; }));
  bool closed = false;
  ReadUntilClosed(slow.back(), 1000, &closed);
  EXPECT_TRUE(closed);
  closed = false;
  ReadUntilClosed(slow.front(), 100, &closed);
  EXPECT_FALSE(closed);
  for (int client : slow) CloseClient(client);
}

// Idle connections from many addresses, arriving faster than they time out, keep the table
// full; a client that connects and sends its request a little later is not the one they
// push out.
TEST_F(NoneBlockingServerTest, FloodOfIdleConnectionsSparesTheClientAboutToSend) {
  EchoServer server;
  StartServer(server);
  SteppingThread stepping(&server);
  std::atomic<bool> flooding{true};
  std::atomic<int> flood_connections{0};
  std::thread flood([&] {
    std::vector<int> open;
    for (int i = 0; flooding; ++i) {
      const std::string source = "127.0.1." + std::to_string(1 + i % 40);
      int client = ConnectLoopbackFrom(source.c_str(), port_);
      if (client >= 0) open.push_back(client);
      ++flood_connections;
      if (open.size() > 2500) {
        CloseClient(open.front());
        open.erase(open.begin());
      }
      std::this_thread::sleep_for(std::chrono::microseconds(250));  // about 4 000 a second
    }
    for (int client : open) CloseClient(client);
  });
  while (flood_connections < 1500) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  int answered = 0;
  constexpr int kClients = 20;
  for (int i = 0; i < kClients; ++i) {
    int client = ConnectLoopbackFrom("127.0.0.2", port_);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    SendAll(client, "GET /ok HTTP/1.1\r\n\r\n");
    answered += ReadUntilClosed(client, 2000).find("200 OK") != std::string::npos;
    CloseClient(client);
  }
  flooding = false;
  flood.join();
  EXPECT_EQ(answered, kClients);
}

// An answer the client takes nothing of closes its connection after the stall time, and
// when the table is full a stalled answer makes room for a new client.
TEST_F(NoneBlockingServerTest, StalledAnswerIsClosedAndMakesRoomWhenTheTableIsFull) {
  EchoServer server(2);
  server.padding = std::string(32u << 20, 'p');
  server.stall_ms = 600;
  server.progress_window_ms = 100;
  StartServer(server);
  SteppingThread stepping(&server);
  int reader = ConnectLoopback(port_, 4096);
  ASSERT_TRUE(SendAll(reader, "GET /big HTTP/1.1\r\n\r\n"));
  int other = ConnectLoopbackFrom("127.0.0.3", port_, 4096);
  ASSERT_TRUE(SendAll(other, "GET /big HTTP/1.1\r\n\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Both answers have stalled past the window: the table makes room.
  EXPECT_NE(ExchangeFrom("127.0.0.2", port_, "GET /ok HTTP/1.1\r\n\r\n").find("200 OK"),
            std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(server.ConnectionCount(), 0u);
  for (int client : {reader, other}) {
    bool closed = false;
    ReadBytes(client, std::string::npos, 3000, &closed);
    EXPECT_TRUE(closed);
    CloseClient(client);
  }
}

TEST_F(NoneBlockingServerTest, BodyThatStallsIsDroppedAfterTheStallTime) {
  EchoServer server;
  server.stall_ms = 200;
  StartServer(server);
  SteppingThread stepping(&server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client, "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));
  bool closed = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadUntilClosed(client, 3000, &closed), "");
  EXPECT_TRUE(closed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_TRUE(server.requests.empty());
  CloseClient(client);
}

TEST_F(NoneBlockingServerTest, TricklingHeaderIsCutOffAtTheDeadline) {
  EchoServer server;
  server.header_deadline_ms = 300;
  StartServer(server);
  SteppingThread stepping(&server);
  int client = ConnectLoopback(port_);
  const std::string request = "GET /view?page=T-1-N-0 HTTP/1.1\r\nHost: x\r\n\r\n";
  auto start = std::chrono::steady_clock::now();
  size_t sent = 0;
  // One byte every 20 ms keeps the connection busy, but the header is not whole in time.
  while (sent < request.size() && SendAll(client, request.substr(sent, 1))) {
    ++sent;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  bool closed = false;
  EXPECT_EQ(ReadUntilClosed(client, 2000, &closed), "");
  EXPECT_TRUE(closed);
  EXPECT_LT(sent, request.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  CloseClient(client);
  // The deadline covers the header only; the body may take longer.
  int upload = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(upload, "POST /p HTTP/1.1\r\nContent-Length: 2\r\n\r\na"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(SendAll(upload, "b"));
  EXPECT_NE(ReadUntilClosed(upload, 2000).find("200 OK"), std::string::npos);
  CloseClient(upload);
}

TEST_F(NoneBlockingServerTest, LargeBodiesTogetherStayWithinTheBudget) {
  SizeServer server;
  ASSERT_TRUE(server.Start("0"));
  port_ = server.ListeningPort();
  SteppingThread stepping(&server);
  constexpr size_t kBody = 450'000'000;
  static_assert(kBody <= kMaxRequestBodyBytes && 2 * kBody > kMaxBufferedRequestBytes);
  const std::string header =
      "POST /upload.php HTTP/1.1\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n";
  std::vector<int> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(ConnectLoopback(port_));
    ASSERT_TRUE(SendAll(clients.back(), header));
  }
  std::vector<std::string> answers(clients.size());
  std::vector<std::thread> senders;
  for (size_t i = 0; i < clients.size(); ++i) {
    senders.emplace_back([&, i] {
      const std::string chunk(1 << 20, 'x');
      for (size_t sent = 0; sent < kBody; sent += chunk.size()) {
        if (!SendAll(clients[i], chunk.substr(0, std::min(chunk.size(), kBody - sent)))) break;
      }
      answers[i] = ReadUntilClosed(clients[i], 20000);
    });
  }
  // Others are answered meanwhile.
  EXPECT_NE(Exchange(port_, "GET /ok HTTP/1.1\r\n\r\n").find("200 OK"), std::string::npos);
  for (std::thread& sender : senders) sender.join();
  int whole = 0, refused = 0;
  for (const std::string& answer : answers) {
    whole +=
        answer.rfind("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(header.size() + kBody),
                     0) == 0;
    refused += answer.rfind("HTTP/1.1 503 ", 0) == 0;
  }
  EXPECT_EQ(whole, 1);
  EXPECT_EQ(refused, 3);
  std::printf("peak resident: %ld KiB\n", PeakResidentKiB());
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
  // A sanitizer's shadow memory and quarantine make the process's own figure meaningless.
  EXPECT_LT(PeakResidentKiB(), 512 * 1024);
#endif
  for (int client : clients) CloseClient(client);
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

TEST_F(NoneBlockingServerTest, FullBodyStreamStopsTheReadingUntilItDrains) {
  StreamServer server;
  ASSERT_TRUE(server.Start("0"));
  port_ = server.ListeningPort();
  SteppingThread stepping(&server);
  constexpr size_t kBody = 64u << 20;
  int client = ConnectLoopback(port_);
  std::thread sender([&] {
    SendAll(client,
            "POST /stream HTTP/1.1\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n");
    const std::string chunk(1 << 20, 's');
    for (size_t sent = 0; sent < kBody; sent += chunk.size()) SendAll(client, chunk);
  });
  for (int i = 0; i < 500 && server.received < kBodyStreamWindowBytes; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // The server stopped reading once the stream was full: the rest waits in the sockets.
  EXPECT_GE(server.received.load(), kBodyStreamWindowBytes);
  EXPECT_LT(server.received.load(), kBodyStreamWindowBytes + (1u << 20));
  // Other requests are served meanwhile.
  EXPECT_EQ(Exchange(port_, "GET / HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
  server.released = true;
  server.WakeLoop();
  sender.join();
  EXPECT_EQ(ReadUntilClosed(client), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Body: " +
                                         std::to_string(kBody) + "\r\n\r\n");
  EXPECT_FALSE(server.abandoned);
  CloseClient(client);
}

// A streamed body is asked for like any other, and a client that leaves before its end gets
// the answer to a request cut short, its stream abandoned.
TEST_F(NoneBlockingServerTest, BodyStreamOfAClientThatLeavesIsAbandoned) {
  StreamServer server;
  server.released = true;
  ASSERT_TRUE(server.Start("0"));
  port_ = server.ListeningPort();
  SteppingThread stepping(&server);
  int client = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(client,
                      "POST /stream HTTP/1.1\r\nContent-Length: 1000000\r\n"
                      "Expect: 100-continue\r\n\r\n"));
  const std::string continue_line = "HTTP/1.1 100 Continue\r\n\r\n";
  EXPECT_EQ(ReadBytes(client, continue_line.size(), 2000), continue_line);
  ASSERT_TRUE(SendAll(client, std::string(300000, 'x')));
  shutdown(client, SHUT_WR);
  // As for a whole request cut short: 400, and the body never counts as whole.
  EXPECT_EQ(ReadUntilClosed(client).substr(0, 13), "HTTP/1.1 400 ");
  EXPECT_TRUE(server.abandoned);
  CloseClient(client);
}

// An answer given from the header block goes out at once, without the body being read or
// given room: announced bodies that are refused take nothing from the others.
TEST_F(NoneBlockingServerTest, AnswerFromTheHeaderComesAtOnceWithoutTheBody) {
  StreamServer server;
  server.answer_at_once = true;
  ASSERT_TRUE(server.Start("0"));
  port_ = server.ListeningPort();
  SteppingThread stepping(&server);
  const std::string header =
      "POST /stream HTTP/1.1\r\nContent-Length: " + std::to_string(kMaxRequestBodyBytes) +
      "\r\n\r\n";
  std::vector<int> clients;
  for (int i = 0; i < 20; ++i) {
    clients.push_back(ConnectLoopback(port_));
    ASSERT_TRUE(SendAll(clients.back(), header + "some of the body"));
  }
  for (int client : clients) {
    bool closed = false;
    EXPECT_EQ(ReadUntilClosed(client, 2000, &closed),
              "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(closed);
    CloseClient(client);
  }
  EXPECT_EQ(server.received.load(), 0u);
}

}  // namespace
