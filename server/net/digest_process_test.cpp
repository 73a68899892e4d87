#include "server/net/digest_process.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/config/md5_hex.h"
#include "server/net/not_found_process.h"
#include "server/net/response_capture.h"

namespace {

// Answers "ok:" + the first account of the request's context.
class WhoProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return ""; }
  int Process(platform::SocketHandle socket, int32_t id, const s_request&) override {
    std::string who;
    for (const UserAccount& a : context()) who += a.name + "/" + std::to_string(a.privilege) + ";";
    server()->Respond(socket, id, "ok:" + who);
    return 1;
  }
};

std::string Ha1(const std::string& user, const std::string& password) {
  return MD5Hex(user + ":secret:" + password);
}

// An Authorization header as a client computes it.
std::string Authorization(const std::string& user, const std::string& ha1,
                          const std::string& method, const std::string& uri,
                          const std::string& nonce = "abcNONCE==",
                          bool upper_case_response = false, std::string header_uri = "") {
  if (header_uri.empty()) header_uri = uri;
  std::string nc = "00000001", cnonce = "c1c2c3";
  std::string response =
      MD5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + MD5Hex(method + ":" + uri));
  if (upper_case_response) {
    for (char& c : response) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  }
  return "Authorization: Digest username=\"" + user + "\", realm=\"secret\", nonce=\"" + nonce +
         "\", uri=\"" + header_uri + "\", algorithm=MD5, response=\"" + response +
         "\", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\"\r\n";
}

class DigestProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.need_user = 1;
    settings_.users = {{"alice", Ha1("alice", "wonder"), 0},
                       {"bob", Ha1("bob", "old"), 0},
                       {"bob", Ha1("bob", "builder"), 1}};
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CDigestProcess>(settings_));
    handlers.push_back(std::make_unique<WhoProcess>());
    server_.SetHandlers(std::move(handlers));
  }
  std::string Get(const std::string& uri, const std::string& headers) {
    return server_.Dispatch("GET " + uri + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
  }
  static bool IsChallenge(const std::string& response, const std::string& client_nonce) {
    const std::regex challenge(
        "HTTP/1\\.1 401 OK\r\n"
        "Content-Length: 0\r\n"
        "Content-Security-Policy: script-src 'self' 'nonce-" +
        std::regex_replace(client_nonce, std::regex("[+=/]"), "\\$&") +
        "'\r\n"
        "Connection: Close\r\n"
        "WWW-Authenticate: Digest realm=\"secret\", nonce=\"[A-Za-z0-9+/]{22}==\","
        "algorithm=MD5,qop=\"auth\"\r\n"
        "Content-Type: text/html\r\n\r\n");
    return std::regex_match(response, challenge);
  }
  ServerSettings settings_;
  ResponseCapture server_;
};

TEST_F(DigestProcessTest, OffMeansEveryRequestPassesWithEmptyContext) {
  settings_.need_user = 0;
  EXPECT_EQ(Get("/image?page=1-N-0", ""), "ok:");
  EXPECT_EQ(Get("/", Authorization("alice", Ha1("alice", "wonder"), "GET", "/")), "ok:");
}

TEST_F(DigestProcessTest, ValidCredentialsPassWithTheAccountsAsContext) {
  EXPECT_EQ(Get("/view?page=T-1-N-0", Authorization("alice", Ha1("alice", "wonder"), "GET",
                                                      "/view?page=T-1-N-0")),
            "ok:alice/0;");
  // Duplicate names: both accounts go on, and the later one's hash is the one that counts.
  EXPECT_EQ(Get("/", Authorization("bob", Ha1("bob", "builder"), "GET", "/")),
            "ok:bob/0;bob/1;");
  EXPECT_TRUE(IsChallenge(Get("/", Authorization("bob", Ha1("bob", "old"), "GET", "/")),
                          "abcNONCE=="));
}

TEST_F(DigestProcessTest, RejectionsGetTheExactChallenge) {
  const std::string ha1 = Ha1("alice", "wonder");
  struct Case {
    const char* what;
    std::string headers;
    std::string client_nonce;
  };
  const Case cases[] = {
      {"no header", "", ""},
      {"wrong password", Authorization("alice", Ha1("alice", "wrong"), "GET", "/"), "abcNONCE=="},
      {"name in another case", Authorization("Alice", Ha1("Alice", "wonder"), "GET", "/"),
       "abcNONCE=="},
      {"upper-case hex", Authorization("alice", ha1, "GET", "/", "n+/=", true), "n+/="},
      {"other method", Authorization("alice", ha1, "POST", "/"), "abcNONCE=="},
      {"uri other than the one hashed",
       Authorization("alice", ha1, "GET", "/other", "abcNONCE==", false, "/"), "abcNONCE=="},
      // No configured user means no secret; an empty HA1 must not open the door.
      {"unknown user, empty HA1", Authorization("mallory", "", "GET", "/"), "abcNONCE=="},
  };
  for (const Case& c : cases) {
    std::string response = Get("/", c.headers);
    EXPECT_TRUE(IsChallenge(response, c.client_nonce)) << c.what << "\n" << response;
  }
}

TEST_F(DigestProcessTest, NoAccountsMeansNobodyGetsIn) {
  settings_.users.clear();
  EXPECT_TRUE(IsChallenge(Get("/", Authorization("", "", "GET", "/")), "abcNONCE=="));
}

TEST_F(DigestProcessTest, HeaderIsFoundByNameNotByTheWordInTheTarget) {
  const std::string uri = "/view?word=Authorization:%20x,y&page=T-1-N-0";
  EXPECT_EQ(Get(uri, "authorization: " +
                         Authorization("alice", Ha1("alice", "wonder"), "GET", uri).substr(15)),
            "ok:alice/0;");
}

TEST(DigestFieldsTest, ParsesQuotedAndBareValues) {
  DigestFields f = ParseDigestFields(
      "Digest username=\"a,b\", realm=\"secret\", nonce=\"n==\", uri=\"/x?a=1,2\", "
      "response=\"r\", qop=auth, nc=00000001, cnonce=\"c\", algorithm=MD5, junk");
  EXPECT_EQ(f.username, "a,b");
  EXPECT_EQ(f.nonce, "n==");
  EXPECT_EQ(f.uri, "/x?a=1,2");
  EXPECT_EQ(f.qop, "auth");
  EXPECT_EQ(f.nc, "00000001");
  EXPECT_EQ(f.algorithm, "MD5");
  // Without the scheme word the user name field is not recognised.
  EXPECT_EQ(ParseDigestFields("username=\"a\"").username, "");
}

}  // namespace
