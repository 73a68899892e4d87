// HTTP/2 on the TLS transport, as clients reach the gallery over HTTPS: ALPN picks h2 for a
// client that offers it, and the same handlers answer over either protocol.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/testing/test_folder.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/testing/lambda_process.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/tls/testing/loopback_certificate.h"
#include "server/tls/tls_transport.h"

namespace {

class Http2OverTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    certificates_ = LoopbackCertificate(folder_.Root(), &cert_, &error);
    ASSERT_NE(certificates_, nullptr) << error;
    transport_ = std::make_unique<TlsTransport>(certificates_.get());
    transport_->SetHttp2Enabled(true);
    std::string file(2'000'000, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 31 + i / 4096);
    file_path_ = folder_.Write("file.bin", file);

    server_ =
        std::make_unique<CImageServer>(CImageServer::kDefaultMaxConnections, transport_.get());
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<LambdaProcess>("/page", [](IncomingRequest& r) {
      r.Respond(HttpResponse("200 OK").ContentLength(5).Close().Finish("hello"));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/file", [this](IncomingRequest& r) {
      r.Respond(HttpResponse("200 OK").Finish(platform::OpenFile::Open(file_path_)));
      return 1;
    }));
    handlers.push_back(std::make_unique<LambdaProcess>("/info", [this](IncomingRequest& r) {
      // What the status page says of the connection that asks.
      std::string described;
      for (const s_socket_stage& c : server_->connections()) {
        described += transport_->Describe(c.socket) + ";";
      }
      r.Respond(HttpResponse("200 OK").Finish(described));
      return 1;
    }));
    server_->SetHandlers(std::move(handlers));
    ASSERT_TRUE(server_->Start("0"));
    port_ = std::to_string(server_->ListeningPort());
    stepping_ = std::make_unique<SteppingThread>(server_.get());
  }

  std::string Curl(const std::string& options, const std::string& target) {
    return RunCommand("curl -s --max-time 20 --cacert " + cert_ + " " + options +
                      " https://localhost:" + port_ + target);
  }

  TestFolder folder_;
  std::string cert_, file_path_, port_;
  std::unique_ptr<CertificateStore> certificates_;
  std::unique_ptr<TlsTransport> transport_;
  std::unique_ptr<CImageServer> server_;
  std::unique_ptr<SteppingThread> stepping_;
};

TEST_F(Http2OverTlsTest, CurlGetsTheSameAnswerOverEitherProtocol) {
  EXPECT_EQ(Curl("--http2 -D -", "/page"),
            "HTTP/2 200 \r\ncontent-length: 5\r\nx-content-type-options: nosniff\r\n"
            "x-frame-options: SAMEORIGIN\r\n\r\nhello");
  EXPECT_EQ(Curl("--http1.1 -D -", "/page"),
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: Close\r\n"
            "X-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\nhello");
  std::string copy = folder_.Root() + "/copy.bin";
  Curl("--http2 -o " + copy, "/file");
  EXPECT_EQ(RunCommand("cmp " + copy + " " + file_path_ + " && echo same"), "same\n");
}

TEST_F(Http2OverTlsTest, OpensslClientOfferingBothGetsH2) {
  std::string output =
      RunCommand("echo | openssl s_client -connect 127.0.0.1:" + port_ + " -alpn h2,http/1.1 2>&1");
  EXPECT_NE(output.find("ALPN protocol: h2"), std::string::npos) << output;
}

TEST_F(Http2OverTlsTest, TheStatusShowsTheProtocolOfEachConnection) {
  EXPECT_NE(Curl("--http2", "/info").find("h2;"), std::string::npos);
}

TEST_F(Http2OverTlsTest, ManyStreamsOnFewConnections) {
  std::string output =
      RunCommand("h2load -n 600 -c 3 -m 50 https://localhost:" + port_ + "/page 2>&1");
  EXPECT_NE(output.find("600 succeeded, 0 failed, 0 errored"), std::string::npos) << output;
}

}  // namespace
