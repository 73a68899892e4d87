// Real Digest clients (curl and Python's requests) against a server on 127.0.0.1 whose
// accounts come from a configuration file written by the configuration writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/config/editor_settings.h"
#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "server/net/digest_process.h"
#include "server/net/image_server.h"
#include "server/net/loopback_test_util.h"
#include "server/net/not_found_process.h"

namespace {

class SecretProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return "/secret"; }
  int Process(platform::SocketHandle socket, int32_t id, const s_request&) override {
    std::string body = "hello " + context().at(0).name;
    server()->Respond(socket, id,
                      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: Close\r\nContent-Type: text/plain\r\n\r\n" + body);
    return 1;
  }
};

// Runs a shell command and returns its standard output.
std::string RunCommand(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  return output;
}

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

    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CDigestProcess>(settings_));
    handlers.push_back(std::make_unique<SecretProcess>());
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
    ASSERT_TRUE(server_.Start("0"));
    url_ = "http://127.0.0.1:" + std::to_string(server_.ListeningPort()) +
           "/secret?word=a%20b&page=T-1-N-0";
    stepping_ = std::make_unique<SteppingThread>(&server_);
  }
  void TearDown() override {
    stepping_.reset();
    std::filesystem::remove_all(folder_);
  }

  std::filesystem::path folder_;
  ServerSettings settings_;
  CImageServer server_;
  std::unique_ptr<SteppingThread> stepping_;
  std::string url_;
};

TEST_F(DigestClientsTest, CurlIsAcceptedWithTheRightPasswordOnly) {
  EXPECT_EQ(RunCommand("curl -s --digest -u user:pw '" + url_ + "'"), "hello user");
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code}' --digest -u user:wrong '" + url_ + "'"),
            "401");
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code}' --digest -u USER:pw '" + url_ + "'"),
            "401");
}

TEST_F(DigestClientsTest, PythonRequestsIsAccepted) {
  const std::string script =
      "import requests, sys\n"
      "from requests.auth import HTTPDigestAuth\n"
      "r = requests.get(sys.argv[1], auth=HTTPDigestAuth('user', 'pw'))\n"
      "bad = requests.get(sys.argv[1], auth=HTTPDigestAuth('user', 'nope'))\n"
      "print(r.status_code, r.text, bad.status_code)\n";
  EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"" + script + "\" '" + url_ + "'"), "200 hello user 401\n");
}

}  // namespace
