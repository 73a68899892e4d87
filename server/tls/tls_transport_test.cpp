// The TLS transport under the connection loop, on real loopback sockets with real clients:
// curl, openssl s_client and raw sockets that stall their handshake.
#include "server/tls/tls_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/open_file.h"
#include "platform/testing/shell_output.h"
#include "platform/testing/test_folder.h"
#include "server/net/none_blocking_server.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/tls/plain_http_redirect.h"
#include "server/tls/testing/loopback_certificate.h"

namespace {

constexpr size_t kFileBytes = 3'000'000;

// "/file" is answered with a large file sent from the file itself, anything else with a
// small body in the header bytes.
class FileServer : public CNoneBlockingServer {
 public:
  FileServer(platform::SocketLayer* sockets, std::string file_path)
      : CNoneBlockingServer(kDefaultMaxConnections, sockets), file_path_(std::move(file_path)) {}

  std::atomic<int> requests{0};
  double header_deadline_ms = 800;

 protected:
  bool OnRequest(s_message& message, const std::shared_ptr<CHttp1Responder>&) override {
    ++requests;
    s_message response;
    response.socket = message.socket;
    response.connection_id = message.connection_id;
    if (message.bytes.rfind("GET /file ", 0) == 0) {
      response.file = platform::OpenFile::Open(file_path_);
      response.bytes =
          "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(response.file->size()) +
          "\r\nConnection: Close\r\n\r\n";
    } else {
      response.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: Close\r\n\r\nhello";
    }
    PostFinalResponse(std::move(response));
    return true;
  }
  double GetHeaderDeadlineMs() override { return header_deadline_ms; }

 private:
  std::string file_path_;
};

class TlsTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    certificates_ = LoopbackCertificate(folder_.Root(), &cert_, &error);
    ASSERT_NE(certificates_, nullptr) << error;
    transport_ = std::make_unique<TlsTransport>(certificates_.get());
    file_ = PseudoBytes(kFileBytes);
    server_ = std::make_unique<FileServer>(transport_.get(), folder_.Write("file.bin", file_));
    ASSERT_TRUE(server_->Start("0"));
    port_ = std::to_string(server_->ListeningPort());
    stepping_ = std::make_unique<SteppingThread>(server_.get());
  }
  void TearDown() override { stepping_.reset(); }

  static std::string PseudoBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 7;
    for (char& c : bytes) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>(state >> 24);
    }
    return bytes;
  }

  std::string Curl(const std::string& options, const std::string& path) {
    return ShellOutput("curl -s --http1.1 --max-time 20 --cacert " + cert_ + " " + options +
                       " https://localhost:" + port_ + path);
  }
  std::string SClient(const std::string& options) {
    return ShellOutput("openssl s_client -connect 127.0.0.1:" + port_ + " " + options +
                       " </dev/null 2>&1");
  }

  TestFolder folder_;
  std::string cert_;
  std::unique_ptr<CertificateStore> certificates_;
  std::unique_ptr<TlsTransport> transport_;
  std::string file_;
  std::unique_ptr<FileServer> server_;
  std::string port_;
  std::unique_ptr<SteppingThread> stepping_;
};

TEST_F(TlsTransportTest, CurlGetsSmallAnswersAndWholeFilesOverTls) {
  EXPECT_EQ(Curl("", "/small"), "hello");
  EXPECT_TRUE(Curl("", "/file") == file_);
  // A slow reader: the socket keeps refusing bytes, and each retry carries the same record.
  EXPECT_TRUE(Curl("--limit-rate 3M", "/file") == file_);
}

// Writing to a connection its client has closed must fail the write, not raise SIGPIPE, which
// would end the whole process.
TEST_F(TlsTransportTest, AClientThatLeavesDuringAnAnswerCostsOnlyItsConnection) {
  const std::string script =
      "import socket, ssl, sys\n"
      "context = ssl.create_default_context(cafile=sys.argv[1])\n"
      "for _ in range(3):\n"
      "    s = context.wrap_socket(socket.create_connection(('127.0.0.1', int(sys.argv[2]))),\n"
      "                            server_hostname='localhost')\n"
      "    s.sendall(b'GET /file HTTP/1.1\\r\\nHost: x\\r\\n\\r\\n')\n"
      "    s.recv(1000)\n"
      "    s.close()\n"
      "print('left')\n";
  const std::string path = folder_.Write("leave.py", script);
  EXPECT_EQ(ShellOutput("python3 " + path + " " + cert_ + " " + port_), "left\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Curl("", "/small"), "hello");
}

TEST_F(TlsTransportTest, OnlyTls12And13WithForwardSecretCiphersAreAccepted) {
  struct Case {
    const char* options;
    bool accepted;
  } cases[] = {
      // Old protocols are offered with the client's own restrictions lifted.
      {"-tls1 -cipher DEFAULT@SECLEVEL=0", false},
      {"-tls1_1 -cipher DEFAULT@SECLEVEL=0", false},
      {"-tls1_2", true},
      {"-tls1_3", true},
      {"-tls1_2 -cipher AES128-GCM-SHA256", false},       // RSA key exchange
      {"-tls1_2 -cipher ECDHE-ECDSA-AES128-SHA", false},  // CBC
      {"-tls1_2 -cipher ECDHE-ECDSA-AES128-GCM-SHA256", true},
  };
  for (const Case& c : cases) {
    std::string output = SClient(c.options);
    bool accepted = output.find("Verify return code") != std::string::npos &&
                    output.find("Cipher is (NONE)") == std::string::npos &&
                    output.find("Cipher    : 0000") == std::string::npos;
    EXPECT_EQ(accepted, c.accepted) << c.options << "\n" << output;
    if (accepted) {
      EXPECT_NE(output.find("Compression: NONE"), std::string::npos) << output;
    }
  }
}

TEST_F(TlsTransportTest, AlpnSelectsHttp2OnlyOnceItIsEnabled) {
  EXPECT_NE(SClient("-alpn h2,http/1.1").find("ALPN protocol: http/1.1"), std::string::npos);
  EXPECT_NE(SClient("-alpn h2").find("No ALPN negotiated"), std::string::npos);
  transport_->SetHttp2Enabled(true);
  EXPECT_NE(SClient("-alpn http/1.1,h2").find("ALPN protocol: h2"), std::string::npos);
  EXPECT_NE(SClient("-alpn http/1.1").find("ALPN protocol: http/1.1"), std::string::npos);
}

TEST_F(TlsTransportTest, PlainHttpGetsARedirectToHttpsAndNothingElse) {
  std::string response =
      Exchange(server_->ListeningPort(),
               "GET /view?page=2 HTTP/1.1\r\nHost: gallery.example:" + port_ + "\r\n\r\n");
  EXPECT_EQ(response, "HTTP/1.1 301 Moved Permanently\r\nLocation: https://gallery.example:" +
                          port_ + "/view?page=2\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(server_->requests.load(), 0);
}

TEST_F(TlsTransportTest, StalledHandshakesAreClosedAtTheDeadlineWhileOthersAreServed) {
  int silent = ConnectLoopback(server_->ListeningPort());
  int half = ConnectLoopback(server_->ListeningPort());
  // A handshake record announcing 512 bytes, of which only the first few arrive.
  const std::string half_hello("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
  ASSERT_TRUE(SendAll(half, half_hello));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Curl("", "/small"), "hello");
  for (int socket : {silent, half}) {
    bool closed = false;
    EXPECT_EQ(ReadUntilClosed(socket, 5000, &closed), "");
    EXPECT_TRUE(closed);
    CloseClient(socket);
  }
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(600));
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
}

TEST(PlainHttpRedirectTest, RedirectsToTheSameTargetOrRefuses) {
  const std::string bad =
      "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  struct Case {
    const char* head;
    std::string expected;
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: localhost:8443\r\n\r\n",
       "HTTP/1.1 301 Moved Permanently\r\nLocation: https://localhost:8443/\r\n"
       "Content-Length: 0\r\nConnection: close\r\n\r\n"},
      {"POST /upload.php?x=1 HTTP/1.1\r\nhost: [::1]:8443\r\n\r\n",
       "HTTP/1.1 301 Moved Permanently\r\nLocation: https://[::1]:8443/upload.php?x=1\r\n"
       "Content-Length: 0\r\nConnection: close\r\n\r\n"},
      {"GET / HTTP/1.1\r\n\r\n", bad},  // no Host
      // A header after Host is just another header: the answer names the host alone.
      {"GET / HTTP/1.1\r\nHost: evil\r\nSet-Cookie: a\r\n\r\n",
       "HTTP/1.1 301 Moved Permanently\r\nLocation: https://evil/\r\nContent-Length: 0\r\n"
       "Connection: close\r\n\r\n"},
      {"GET / HTTP/1.1\r\nHost: a b\r\n\r\n", bad},  // not a host
      {"GET / HTTP/1.1\r\nHost: a/b@c\r\n\r\n", bad},
      {"GET http://x/ HTTP/1.1\r\nHost: x\r\n\r\n", bad},  // not a path
      {"GET /\x01 HTTP/1.1\r\nHost: x\r\n\r\n", bad},
  };
  for (const Case& c : cases) EXPECT_EQ(PlainHttpRedirect(c.head), c.expected) << c.head;
}

}  // namespace
