// The socket server speaking HTTP/2 on loopback connections, without TLS (prior knowledge):
// curl for what a well-behaved client sees, hostile_client.py for floods and stalls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/testing/lambda_process.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

// Counts an upload's bytes, and holds them as a slow writer would: Full while more than a
// megabyte waits, which a thread of its own drains.
class SlowCountingStream : public CRequestBodyStream {
 public:
  explicit SlowCountingStream(IncomingRequest request)
      : request_(std::move(request)), drain_([this] { Drain(); }) {}
  ~SlowCountingStream() override {
    stop_ = true;
    drain_.join();
  }
  void Append(std::string bytes) override {
    total_ += bytes.size();
    std::lock_guard<std::mutex> hold(lock_);
    waiting_ += bytes.size();
    max_waiting_ = std::max(max_waiting_, waiting_);
  }
  bool Full() override {
    std::lock_guard<std::mutex> hold(lock_);
    return waiting_ > 1024 * 1024;
  }
  void Finish() override {
    std::lock_guard<std::mutex> hold(lock_);
    request_.Respond(HttpResponse("200 OK")
                         .Header("Content-Type", "text/plain")
                         .Finish(std::to_string(total_) + " " + std::to_string(max_waiting_)));
  }
  void Abandon() override {}

 private:
  void Drain() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      std::lock_guard<std::mutex> hold(lock_);
      bool was_full = waiting_ > 1024 * 1024;
      waiting_ -= std::min<size_t>(waiting_, 256 * 1024);
      if (was_full) request_.responder().ResumeBody();
    }
  }

  IncomingRequest request_;
  size_t total_ = 0;
  std::mutex lock_;
  size_t waiting_ = 0;      // guarded by lock_
  size_t max_waiting_ = 0;  // guarded by lock_
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

class Http2TestServer : public CImageServer {
 public:
  double idle_ms = kHttp2IdleMs;
  size_t response_limit = kMaxQueuedResponseBytes;

 protected:
  bool SpeaksPriorKnowledgeHttp2() override { return true; }
  double GetHttp2IdleMs() override { return idle_ms; }
  size_t GetResponseByteLimit() override { return response_limit; }
};

class Http2ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("h2test-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    big_file_ = (folder_ / "big.bin").string();
    std::ofstream out(big_file_, std::ios::binary);
    for (int i = 0; i < 3 * 1024 * 1024; ++i) out.put(static_cast<char>(i * 7 + i / 1000));
    out.close();

    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<LambdaProcess>("/page", [](IncomingRequest& r) {
      std::string cookie;
      r.http().Header("Cookie", &cookie);
      r.Respond(HttpResponse("200 OK")
                    .Header("Content-Type", "text/html")
                    .Header("X-Target", r.http().target_text)
                    .Header("X-Cookie", cookie)
                    .Close()
                    .Finish("hello"));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/hints", [](IncomingRequest& r) {
      r.Interim(HttpResponse("103").Header("Link", "</script>; rel=preload").Finish());
      r.Respond(HttpResponse("200 OK").ContentLength(2).Finish("ok"));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/file", [this](IncomingRequest& r) {
      r.Respond(HttpResponse("200 OK")
                    .Header("Content-Type", "application/octet-stream")
                    .Finish(platform::OpenFile::Open(big_file_)));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/shared", [](IncomingRequest& r) {
      auto body = std::make_shared<const std::vector<uint8_t>>(300000, uint8_t{'s'});
      r.Respond(HttpResponse("200 OK").Finish(SharedBody(body)));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/vote", [](IncomingRequest& r) {
      r.Respond(HttpResponse("200 OK").Finish(std::string(r.http().Body())));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>(
        "/upload",
        [](IncomingRequest& r) {
          r.ReceiveBody(std::make_shared<SlowCountingStream>(r));
          return 1;
        },
        true));
    handlers.push_back(std::make_unique<LambdaProcess>("/slow", [this](IncomingRequest& r) {
      std::lock_guard<std::mutex> hold(held_lock_);
      held_.push_back(r);  // answered never
      return 1;
    }));
    server_.SetHandlers(std::move(handlers));
    ASSERT_TRUE(server_.Start("0"));
    port_ = server_.ListeningPort();
    stepping_ = std::make_unique<SteppingThread>(&server_);
  }

  void TearDown() override {
    stepping_.reset();
    std::filesystem::remove_all(folder_);
  }

  // curl's output for `target` with the `options` before it.
  std::string Curl(const std::string& options, const std::string& target, int* status = nullptr) {
    return RunCommand("curl -s --http2-prior-knowledge --max-time 20 " + options +
                          " 'http://127.0.0.1:" + std::to_string(port_) + target + "'",
                      status);
  }
  std::string Hostile(const std::string& arguments, int* status) {
    return RunCommand("/usr/bin/python3 " LUMENVALE_SOURCE_DIR
                      "/server/net/http2/testdata/hostile_client.py " +
                          arguments,
                      status);
  }
  // The page still comes on a new connection.
  void ExpectOthersServed() {
    int status = 0;
    std::string body = RunCommand(
        "curl -s --http2-prior-knowledge --max-time 10 http://127.0.0.1:" + std::to_string(port_) +
            "/page",
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(body, "hello");
  }

  std::filesystem::path folder_;
  std::string big_file_;
  Http2TestServer server_;
  int port_ = 0;
  std::unique_ptr<SteppingThread> stepping_;
  std::mutex held_lock_;
  std::vector<IncomingRequest> held_;
};

TEST_F(Http2ServerTest, AnswerHeadersAreLowerCasedWithoutConnectionLines) {
  std::string output = Curl("-D - -b 'a=1; b=2'", "/page?x=1&y=2");
  EXPECT_EQ(output,
            "HTTP/2 200 \r\n"
            "content-type: text/html\r\n"
            "x-target: /page?x=1&y=2\r\n"
            "x-cookie: a=1; b=2\r\n"
            "x-content-type-options: nosniff\r\n"
            "x-frame-options: SAMEORIGIN\r\n"
            "\r\n"
            "hello");
}

TEST_F(Http2ServerTest, EarlyHintsComeAsAnInformationalHeaderBlock) {
  std::string output = Curl("-D -", "/hints");
  EXPECT_EQ(output,
            "HTTP/2 103 \r\n"
            "link: </script>; rel=preload\r\n"
            "\r\n"
            "HTTP/2 200 \r\n"
            "content-length: 2\r\n"
            "x-content-type-options: nosniff\r\n"
            "x-frame-options: SAMEORIGIN\r\n"
            "\r\n"
            "ok");
}

TEST_F(Http2ServerTest, FilesAndSharedBodiesArriveWhole) {
  std::string copy = (folder_ / "copy.bin").string();
  int status = 0;
  Curl("-o " + copy, "/file", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(RunCommand("cmp " + copy + " " + big_file_ + " && echo same"), "same\n");
  EXPECT_EQ(Curl("", "/shared"), std::string(300000, 's'));
}

TEST_F(Http2ServerTest, AnswersPastTheResponseBudgetAre503) {
  server_.response_limit = 100000;
  EXPECT_EQ(Curl("-D -", "/shared"), "HTTP/2 503 \r\ncontent-length: 0\r\n\r\n");
  EXPECT_EQ(Curl("", "/page"), "hello");
}

TEST_F(Http2ServerTest, ManyRequestsAtOnceOnEachConnection) {
  std::string output = RunCommand(
      "h2load -n 1000 -c 2 -m 100 http://127.0.0.1:" + std::to_string(port_) + "/page 2>&1");
  EXPECT_NE(output.find("1000 succeeded, 0 failed, 0 errored"), std::string::npos) << output;
  EXPECT_NE(output.find("status codes: 1000 2xx"), std::string::npos) << output;
}

TEST_F(Http2ServerTest, BodiesReachHandlersWholeOrStreamedWithinTheirWindow) {
  EXPECT_EQ(Curl("--data-binary like=3", "/vote"), "like=3");
  std::filesystem::resize_file(big_file_, 12 * 1024 * 1024);
  int status = 0;
  std::string output = Curl("--data-binary @" + big_file_, "/upload", &status);
  EXPECT_EQ(status, 0);
  size_t total = 0, max_waiting = 0;
  ASSERT_EQ(std::sscanf(output.c_str(), "%zu %zu", &total, &max_waiting), 2) << output;
  EXPECT_EQ(total, 12u * 1024 * 1024);
  // The stream turns full past a megabyte; the client may have sent one window more.
  EXPECT_LE(max_waiting, 1024u * 1024 + Http2Session::kStreamWindowBytes + 256 * 1024);
}

TEST_F(Http2ServerTest, HostileClientsAreClosedAndOthersStillServed) {
  for (const char* hostile :
       {"rapid_reset", "continuation_flood", "ping_flood", "settings_flood", "many_streams"}) {
    SCOPED_TRACE(hostile);
    int status = -1;
    std::string output = Hostile(std::string(hostile) + " " + std::to_string(port_), &status);
    EXPECT_EQ(status, 0) << output;
    ExpectOthersServed();
  }
}

TEST_F(Http2ServerTest, AClientThatNeverOpensItsWindowGetsOnlyHeaders) {
  int status = -1;
  std::string output = Hostile("zero_window " + std::to_string(port_) + " /file 0", &status);
  EXPECT_EQ(status, 0) << output;
  ExpectOthersServed();
}

TEST_F(Http2ServerTest, AnIdleConnectionIsClosedAndLeavesTheTable) {
  server_.idle_ms = 300;
  int client = ConnectLoopback(port_);
  ASSERT_GE(client, 0);
  ASSERT_TRUE(
      SendAll(client, "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" + std::string("\0\0\0\4\0\0\0\0\0", 9)));
  bool closed = false;
  ReadUntilClosed(client, 5000, &closed);
  EXPECT_TRUE(closed);
  CloseClient(client);
  for (int i = 0; i < 100 && server_.ConnectionCount() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server_.ConnectionCount(), 0u);
}

TEST_F(Http2ServerTest, AnOpenConnectionWithNothingToDoLetsTheLoopWait) {
  stepping_.reset();  // the test steps the server itself
  int client = ConnectLoopback(port_);
  ASSERT_GE(client, 0);
  ASSERT_TRUE(
      SendAll(client, "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" + std::string("\0\0\0\4\0\0\0\0\0", 9)));
  // Once the preface is read and answered, the connection is quiet: the passes find nothing
  // to do, so the loop waits for readiness instead of spinning.
  int idle_in_a_row = 0;
  for (int pass = 0; pass < 500 && idle_in_a_row < 20; ++pass) {
    if (server_.Step()) {
      idle_in_a_row = 0;
    } else {
      ++idle_in_a_row;
      server_.WaitForWork(1);
    }
  }
  EXPECT_EQ(idle_in_a_row, 20);
  EXPECT_EQ(server_.ConnectionCount(), 1u);
  // And it still answers: the request's bytes wake the wait.
  const std::string settings_ack("\0\0\0\4\1\0\0\0\0", 9);
  // HEADERS on stream 1, END_STREAM|END_HEADERS, GET http 127.0.0.1 /page (static indexes).
  const std::string headers =
      std::string("\0\0\x14\1\5\0\0\0\1", 9) + "\x82\x86\x41\x09" "127.0.0.1" "\x04\x05" "/page";
  ASSERT_TRUE(SendAll(client, settings_ack + headers));
  std::atomic<bool> done{false};
  std::thread loop([&] {
    while (!done) {
      if (!server_.Step()) server_.WaitForWork(5);
    }
  });
  std::string answer = ReadBytes(client, 200, 1000);
  done = true;
  loop.join();
  EXPECT_NE(answer.find("hello"), std::string::npos);
  CloseClient(client);
}

}  // namespace
