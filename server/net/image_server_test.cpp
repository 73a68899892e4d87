#include "server/net/image_server.h"

#include <gtest/gtest.h>

#include <regex>

#include "server/net/not_found_process.h"
#include "server/net/request_gate.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/net/testing/response_capture.h"

namespace {

// Answers its path with the parsed parameters as the body.
class PathProcess : public CRequestProcess {
 public:
  explicit PathProcess(std::string path) : path_(std::move(path)) {}
  std::string GetPath() override { return path_; }
  int Process(IncomingRequest& request) override {
    request.Respond(TextAnswer("200 " + request.target().to_text()));
    return 1;
  }

 private:
  std::string path_;
};

// Leaves accounts in the request, as authentication does.
class ContextProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return ""; }
  int Process(IncomingRequest& request) override {
    request.set_accounts({{"alice", "hash", 1, {}}});
    return 0;
  }
};

class ContextReader : public CRequestProcess {
 public:
  std::string GetPath() override { return "/who"; }
  int Process(IncomingRequest& request) override {
    request.Respond(TextAnswer(request.accounts().empty() ? "nobody" : request.accounts()[0].name));
    return 1;
  }
};

class ImageServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<ContextProcess>());
    handlers.push_back(std::make_unique<PathProcess>("/view"));
    handlers.push_back(std::make_unique<ContextReader>());
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }
  std::string Answer(const std::string& request) { return Unwrapped(server_.Dispatch(request)); }
  ResponseCapture server_;
};

TEST_F(ImageServerTest, RoutesByExactPathElse404) {
  EXPECT_EQ(Answer("GET /view?page=T-1-D-0 HTTP/1.1\r\n\r\n"), "200 /view?page=T-1-D-0");
  const std::regex not_found(
      "HTTP/1\\.1 404 Not Found\r\n"
      "Content-Length: 0\r\n"
      "Content-Security-Policy: script-src 'self' 'nonce-[A-Za-z0-9+/]{22}=='\r\n"
      "Connection: Close\r\n"
      "Content-Type: text/html\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n");
  for (const char* target : {"/VIEW", "/view/", "/view?a=1=2", "/a=b", "/nothing"}) {
    std::string response = Answer(std::string("GET ") + target + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(std::regex_match(response, not_found)) << target << ": " << response;
  }
}

TEST_F(ImageServerTest, ContextReachesLaterHandlers) {
  EXPECT_EQ(Answer("GET /who HTTP/1.1\r\n\r\n"), "alice");
}

TEST_F(ImageServerTest, RequestLineWithoutSpaceGets400) {
  EXPECT_EQ(Answer("GARBAGE\r\nHost: a b\r\n\r\n").substr(0, 24), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(Answer("GET\r\n\r\n").substr(0, 24), "HTTP/1.1 400 Bad Request");
}

TEST_F(ImageServerTest, TwoResponsesNeverShareANonce) {
  std::string a = Answer("GET /x HTTP/1.1\r\n\r\n"), b = Answer("GET /x HTTP/1.1\r\n\r\n");
  EXPECT_NE(a, b);
}

// Refuses every request without a "Key" header line, as a failed Digest check does, and
// leaves an account in the others.
class KeyProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return ""; }
  int Process(IncomingRequest& request) override {
    std::string key;
    if (!request.http().Header("Key", &key)) {
      request.Respond(HttpResponse("401 Unauthorized").ContentLength(0).Close().Finish());
      return 1;
    }
    request.set_accounts({{key, "hash", 1, {}}});
    return 0;
  }
};

// Answers with the account and the body it got.
class BodyProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return "/body"; }
  int Process(IncomingRequest& request) override {
    request.Respond(TextAnswer(request.accounts()[0].name + ":" + std::string(request.http().Body())));
    return 1;
  }
};

// Over real sockets: a request's body is asked for only once its header block has passed the
// leading handlers and the limits; the handler then sees the whole request.
TEST(ImageServerSocketTest, BodiesAreReadOnlyForRequestsThatWillBeServed) {
  CImageServer server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<KeyProcess>());
  handlers.push_back(std::make_unique<BodyProcess>());
  server.SetHandlers(std::move(handlers));
  ASSERT_TRUE(server.Start("0"));
  SteppingThread stepping(&server);
  const int port = server.ListeningPort();
  auto post = [&](const std::string& headers, size_t length, const std::string& sent) {
    int client = ConnectLoopback(port);
    SendAll(client, "POST /body HTTP/1.1\r\nHost: h\r\n" + headers +
                        "Content-Length: " + std::to_string(length) + "\r\n\r\n" + sent);
    std::string answer = ReadUntilClosed(client, 3000);
    CloseClient(client);
    return answer;
  };
  EXPECT_EQ(Unwrapped(post("Key: k\r\n", 5, "hello")), "k:hello");
  // Refused with nothing of the body sent: the answer does not wait for it.
  EXPECT_EQ(post("", 5, "").substr(0, 21), "HTTP/1.1 401 Unauthor");
  EXPECT_EQ(post("Key: k\r\n", kMaxPlainBodyBytes + 1, "").substr(0, 21), "HTTP/1.1 413 Content ");
  EXPECT_EQ(post("Key: k\r\nOrigin: http://elsewhere\r\n", 5, "").substr(0, 21),
            "HTTP/1.1 403 Forbidde");
  EXPECT_EQ(Unwrapped(post("Key: k\r\n", kMaxPlainBodyBytes, std::string(kMaxPlainBodyBytes, 'b')))
                .size(),
            2 + kMaxPlainBodyBytes);
}

}  // namespace
