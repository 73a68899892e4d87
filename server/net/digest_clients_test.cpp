// Real Digest clients (curl and Python's requests) against a server on 127.0.0.1 whose
// accounts come from a configuration file written by the configuration writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "common/config/md5_hex.h"

#include "common/config/editor_settings.h"
#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "platform/testing/shell_output.h"
#include "server/net/digest_process.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

class SecretProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return "/secret"; }
  int Process(IncomingRequest& request) override {
    std::string body = "hello " + request.accounts().at(0).name;
    request.Respond(HttpResponse("200 OK")
                        .ContentLength(body.size())
                        .Close()
                        .Header("Content-Type", "text/plain")
                        .Finish(std::move(body)));
    return 1;
  }
};

// Redirects to /secret half a second later, so a client follows with a nonce that has
// grown old meanwhile.
class LaterProcess : public CRequestProcess {
 public:
  ~LaterProcess() override {
    for (std::thread& answer : answers_) answer.join();
  }
  std::string GetPath() override { return "/later"; }
  int Process(IncomingRequest& request) override {
    answers_.emplace_back([request] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      request.Respond(HttpResponse("302 Found")
                          .Header("Location", "/secret")
                          .ContentLength(0)
                          .Close()
                          .Finish());
    });
    return 1;
  }

 private:
  std::vector<std::thread> answers_;
};

class DigestClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("lv_digest_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    EditorSettings editor;
    editor.need_user = true;
    EditorAccount account;
    account.name = "user";
    ASSERT_TRUE(PasswordHash("user", "pw", &account.hash));
    editor.users.push_back(account);
    std::string path = (folder_ / "gallery.con").string();
    ASSERT_TRUE(editor.write(path));
    ASSERT_TRUE(settings_.load("\"" + path + "\""));
    ASSERT_EQ(settings_.need_user, 1);
  }
  void StartServer(const DigestLimits& limits = {}) {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CDigestProcess>(settings_, limits));
    handlers.push_back(std::make_unique<SecretProcess>());
    handlers.push_back(std::make_unique<LaterProcess>());
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
    ASSERT_TRUE(server_.Start("0"));
    port_ = server_.ListeningPort();
    url_ = "http://127.0.0.1:" + std::to_string(port_) + "/secret?word=a%20b&page=T-1-N-0";
    stepping_ = std::make_unique<SteppingThread>(&server_);
  }

  // Sends a GET for `target` with the Authorization header a client computes from the
  // arguments (the uri field is `target` unless given) and returns the whole response.
  std::string Get(const std::string& target, const std::string& nonce, int nc,
                  const std::string& password = "pw", const std::string& uri_field = "") {
    char nc_text[9];
    std::snprintf(nc_text, sizeof nc_text, "%08x", nc);
    std::string cnonce = "cn" + std::to_string(nc);
    std::string response = MD5Hex(MD5Hex("user:secret:" + password) + ":" + nonce + ":" + nc_text +
                                  ":" + cnonce + ":auth:" + MD5Hex("GET:" + target));
    std::string uri = uri_field.empty() ? target : uri_field;
    return Exchange(port_, "GET " + target +
                               " HTTP/1.1\r\nAuthorization: Digest username=\"user\", "
                               "realm=\"secret\", nonce=\"" +
                               nonce + "\", uri=\"" + uri + "\", response=\"" + response +
                               "\", qop=auth, nc=" + nc_text + ", cnonce=\"" + cnonce +
                               "\"\r\n\r\n");
  }
  // The nonce of the challenge to a request without credentials.
  std::string IssuedNonce() {
    std::smatch match;
    std::string challenge = Exchange(port_, "GET /secret HTTP/1.1\r\n\r\n");
    if (!std::regex_search(challenge, match, std::regex("nonce=\"([^\"]*)\""))) return "";
    return match[1];
  }
  static std::string StatusOf(const std::string& response) { return response.substr(9, 3); }

  void TearDown() override {
    stepping_.reset();
    std::filesystem::remove_all(folder_);
  }

  std::filesystem::path folder_;
  ServerSettings settings_;
  CImageServer server_;
  std::unique_ptr<SteppingThread> stepping_;
  std::string url_;
  int port_ = 0;
};

TEST_F(DigestClientsTest, CurlIsAcceptedWithTheRightPasswordOnly) {
  StartServer();
  EXPECT_EQ(ShellOutput("curl -s --digest -u user:pw '" + url_ + "'"), "hello user");
  EXPECT_EQ(
      ShellOutput("curl -s -o /dev/null -w '%{http_code}' --digest -u user:wrong '" + url_ + "'"),
      "401");
  EXPECT_EQ(
      ShellOutput("curl -s -o /dev/null -w '%{http_code}' --digest -u USER:pw '" + url_ + "'"),
      "401");
}

TEST_F(DigestClientsTest, PythonRequestsIsAccepted) {
  StartServer();
  const std::string script =
      "import requests, sys\n"
      "from requests.auth import HTTPDigestAuth\n"
      "r = requests.get(sys.argv[1], auth=HTTPDigestAuth('user', 'pw'))\n"
      "bad = requests.get(sys.argv[1], auth=HTTPDigestAuth('user', 'nope'))\n"
      "print(r.status_code, r.text, bad.status_code)\n";
  EXPECT_EQ(ShellOutput("/usr/bin/python3 -c \"" + script + "\" '" + url_ + "'"),
            "200 hello user 401\n");
}

TEST_F(DigestClientsTest, ExpiredNonceIsRetriedByCurlAndRequestsWithoutAPrompt) {
  DigestLimits limits;
  limits.nonce_lifetime_ms = 300;
  StartServer(limits);
  // curl follows the late redirect with the nonce of the first challenge, now expired.
  std::string curl =
      ShellOutput("curl -s -v -L --digest -u user:pw 'http://127.0.0.1:" + std::to_string(port_) +
                  "/later' 2>&1");
  EXPECT_NE(curl.find("stale=true"), std::string::npos) << curl;
  EXPECT_NE(curl.find("\nhello user"), std::string::npos) << curl;
  const std::string script =
      "import requests, sys, time\n"
      "from requests.auth import HTTPDigestAuth\n"
      "s = requests.Session()\n"
      "s.auth = HTTPDigestAuth('user', 'pw')\n"
      "first = s.get(sys.argv[1])\n"
      "time.sleep(0.5)\n"
      "second = s.get(sys.argv[1])\n"
      "print(first.status_code, second.status_code, second.text,\n"
      "      [r.headers['WWW-Authenticate'].endswith('stale=true') for r in second.history])\n";
  EXPECT_EQ(ShellOutput("/usr/bin/python3 -c \"" + script + "\" '" + url_ + "'"),
            "200 200 hello user [True]\n");
}

TEST_F(DigestClientsTest, CapturedHeadersOpenNothingElse) {
  StartServer();
  const std::string target = "/secret?page=T-1-N-0";
  std::string nonce = IssuedNonce();
  EXPECT_EQ(StatusOf(Get(target, nonce, 1)), "200");
  std::string replay = Get(target, nonce, 1);
  EXPECT_EQ(StatusOf(replay), "401");
  EXPECT_NE(replay.find(",stale=true\r\n"), std::string::npos) << replay;
  // The same header sent for another path.
  std::string response = Get(target, nonce, 2);
  ASSERT_EQ(StatusOf(response), "200");
  EXPECT_EQ(StatusOf(Get("/secret", nonce, 3, "pw", target)), "401");
  // A nonce this server never issued, with the right password.
  EXPECT_EQ(StatusOf(Get(target, "AAAAAAAAAAAAAAAAAAAAAA==", 1)), "401");
  // A line feed in the nonce never reaches the answer's header.
  std::string injected = Get(target, "x\nSet-Cookie: evil=1", 1);
  EXPECT_EQ(StatusOf(injected), "401");
  EXPECT_EQ(injected.find("evil"), std::string::npos) << injected;
}

TEST_F(DigestClientsTest, ParallelRequestsOnOneNonceAllPass) {
  StartServer();
  std::string nonce = IssuedNonce();
  constexpr int kRequests = 24;
  std::vector<std::string> statuses(kRequests);
  std::vector<std::thread> clients;
  for (int i = 0; i < kRequests; ++i) {
    clients.emplace_back(
        [&, i] { statuses[i] = StatusOf(Get("/secret?n=" + std::to_string(i), nonce, i + 1)); });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(statuses, std::vector<std::string>(kRequests, "200"));
}

TEST_F(DigestClientsTest, RepeatedFailuresLockTheAddressOut) {
  DigestLimits limits;
  limits.failure_limit = 5;
  StartServer(limits);
  std::string nonce = IssuedNonce();
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(StatusOf(Get("/secret", nonce, i, "guess")), "401");
  // The right password is refused too while the lock-out lasts.
  EXPECT_EQ(StatusOf(Get("/secret", nonce, 6)), "401");
  EXPECT_EQ(
      ShellOutput("curl -s -o /dev/null -w '%{http_code}' --digest -u user:pw '" + url_ + "'"),
      "401");
}

}  // namespace
