#include "server/net/digest_process.h"

#include <gtest/gtest.h>

#include <regex>

#include "common/config/md5_hex.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"

namespace {

// Answers "ok:" + the first account of the request's context.
class WhoProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return ""; }
  int Process(IncomingRequest& request) override {
    std::string who;
    for (const UserAccount& a : request.accounts()) {
      who += a.name + "/" + std::to_string(a.privilege) + ";";
    }
    request.Respond(TextAnswer("ok:" + who));
    return 1;
  }
};

std::string Ha1(const std::string& user, const std::string& password) {
  return MD5Hex(user + ":secret:" + password);
}

// What a client puts into its Authorization header.
struct Credentials {
  Credentials(std::string user, std::string ha1, std::string method, std::string uri,
              std::string nonce, std::string nc = "00000001", std::string header_uri = "",
              bool upper_case_response = false)
      : user(std::move(user)),
        ha1(std::move(ha1)),
        method(std::move(method)),
        uri(std::move(uri)),
        nonce(std::move(nonce)),
        nc(std::move(nc)),
        header_uri(std::move(header_uri)),
        upper_case_response(upper_case_response) {}
  std::string user, ha1, method, uri, nonce, nc;
  std::string header_uri;  // the uri field when it differs from the hashed one
  bool upper_case_response;
};

std::string Authorization(const Credentials& c) {
  std::string cnonce = "c1c2c3";
  std::string response = MD5Hex(c.ha1 + ":" + c.nonce + ":" + c.nc + ":" + cnonce +
                                ":auth:" + MD5Hex(c.method + ":" + c.uri));
  if (c.upper_case_response) {
    for (char& ch : response) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  }
  return "Authorization: Digest username=\"" + c.user + "\", realm=\"secret\", nonce=\"" + c.nonce +
         "\", uri=\"" + (c.header_uri.empty() ? c.uri : c.header_uri) +
         "\", algorithm=MD5, response=\"" + response + "\", qop=auth, nc=" + c.nc + ", cnonce=\"" +
         cnonce + "\"\r\n";
}

class DigestProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.need_user = 1;
    settings_.users = {{"alice", Ha1("alice", "wonder"), 0, {}},
                       {"bob", Ha1("bob", "old"), 0, {}},
                       {"bob", Ha1("bob", "builder"), 1, {}}};
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CDigestProcess>(settings_));
    handlers.push_back(std::make_unique<WhoProcess>());
    server_.SetHandlers(std::move(handlers));
  }
  std::string Get(const std::string& uri, const std::string& headers) {
    return Unwrapped(
        server_.Dispatch("GET " + uri + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n"));
  }
  // A nonce from the challenge to a request without credentials.
  std::string IssuedNonce() {
    std::smatch match;
    std::string challenge = Get("/", "");
    if (!std::regex_search(challenge, match, std::regex("nonce=\"([^\"]*)\""))) return "";
    return match[1];
  }
  Credentials Alice(const std::string& uri) {
    return {"alice", Ha1("alice", "wonder"), "GET", uri, IssuedNonce()};
  }
  static bool IsChallenge(const std::string& response, const std::string& client_nonce,
                          bool stale = false) {
    const std::regex challenge(
        "HTTP/1\\.1 401 OK\r\n"
        "Content-Length: 0\r\n"
        "Content-Security-Policy: script-src 'self' 'nonce-" +
        std::regex_replace(client_nonce, std::regex("[+=/]"), "\\$&") +
        "'\r\n"
        "Connection: Close\r\n"
        "WWW-Authenticate: Digest realm=\"secret\", nonce=\"[A-Za-z0-9+/]{22}==\","
        "algorithm=MD5,qop=\"auth\"" +
        std::string(stale ? ",stale=true" : "") +
        "\r\n"
        "Content-Type: text/html\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n");
    return std::regex_match(response, challenge);
  }
  ServerSettings settings_;
  ResponseCapture server_;
};

TEST_F(DigestProcessTest, OffMeansEveryRequestPassesWithEmptyContext) {
  settings_.need_user = 0;
  EXPECT_EQ(Get("/image?page=1-N-0", ""), "ok:");
  EXPECT_EQ(Get("/", Authorization({"alice", Ha1("alice", "wonder"), "GET", "/", "n"})), "ok:");
}

TEST_F(DigestProcessTest, ValidCredentialsPassWithTheAccountsAsContext) {
  EXPECT_EQ(Get("/view?page=T-1-N-0", Authorization(Alice("/view?page=T-1-N-0"))), "ok:alice/0;");
}

// A repeated name: each password lets in the record it belongs to, with that record's right,
// so the password of a viewing-only record never uploads.
TEST_F(DigestProcessTest, RepeatedNameTakesPasswordAndRightFromOneRecord) {
  settings_.users = {{"bob", Ha1("bob", "viewer"), 0, {}},
                     {"bob", Ha1("bob", "builder"), 1, {}},
                     {"bob", Ha1("bob", "viewer"), 1, {}}};
  struct Case {
    const char* password;
    const char* expected;
  };
  const Case cases[] = {
      {"viewer", "ok:bob/0;"},  // the first record of that password
      {"builder", "ok:bob/1;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Get("/", Authorization({"bob", Ha1("bob", c.password), "GET", "/", IssuedNonce()})),
              c.expected)
        << c.password;
  }
  const std::string nonce = IssuedNonce();
  EXPECT_TRUE(
      IsChallenge(Get("/", Authorization({"bob", Ha1("bob", "other"), "GET", "/", nonce})), nonce));
}

// A record without a hash holds no secret: an answer computed from an empty HA1 is refused.
TEST_F(DigestProcessTest, AccountWithoutHashLetsNobodyIn) {
  settings_.users = {{"eve", "", 1, {}}};
  const std::string nonce = IssuedNonce();
  EXPECT_TRUE(IsChallenge(Get("/", Authorization({"eve", "", "GET", "/", nonce})), nonce));
}

TEST_F(DigestProcessTest, RejectionsGetTheExactChallenge) {
  const std::string ha1 = Ha1("alice", "wonder");
  const std::string nonce = IssuedNonce();
  struct Case {
    const char* what;
    Credentials credentials;
    std::string client_nonce;  // echoed in the policy line
    bool stale;
  };
  const Case cases[] = {
      {"wrong password", {"alice", Ha1("alice", "wrong"), "GET", "/", nonce}, nonce, false},
      {"name in another case", {"Alice", Ha1("Alice", "wonder"), "GET", "/", nonce}, nonce, false},
      {"upper-case hex", {"alice", ha1, "GET", "/", nonce, "00000001", "", true}, nonce, false},
      {"other method", {"alice", ha1, "POST", "/", nonce}, nonce, false},
      {"uri other than the one hashed",
       {"alice", ha1, "GET", "/other", nonce, "00000001", "/"},
       nonce,
       false},
      {"uri other than the target", {"alice", ha1, "GET", "/other", nonce}, nonce, false},
      {"nc not 8 hex digits", {"alice", ha1, "GET", "/", nonce, "1"}, nonce, false},
      // No configured user means no secret; an empty HA1 must not open the door.
      {"unknown user, empty HA1", {"mallory", "", "GET", "/", nonce}, nonce, false},
      // The right password on a nonce this server never issued: the client may retry.
      {"made-up nonce", {"alice", ha1, "GET", "/", "abcNONCE=="}, "abcNONCE==", true},
      // Only nonce-shaped values are echoed into the header; a line feed ends the header line.
      {"line feed in the nonce", {"alice", ha1, "GET", "/", "a\nSet-Cookie: x"}, "a", false},
      {"quote in the nonce", {"alice", ha1, "GET", "/", "a' 'unsafe-inline"}, "", true},
  };
  EXPECT_TRUE(IsChallenge(Get("/", ""), ""));
  for (const Case& c : cases) {
    std::string response = Get("/", Authorization(c.credentials));
    EXPECT_TRUE(IsChallenge(response, c.client_nonce, c.stale)) << c.what << "\n" << response;
  }
  // None of these used up the nonce.
  EXPECT_EQ(Get("/", Authorization({"alice", ha1, "GET", "/", nonce})), "ok:alice/0;");
}

TEST_F(DigestProcessTest, ReplayIsRefusedWhileGrowingCountsPass) {
  Credentials alice = Alice("/image?page=1-N-0");
  for (const char* nc : {"00000001", "00000003", "00000002", "0000000A"}) {
    alice.nc = nc;
    EXPECT_EQ(Get(alice.uri, Authorization(alice)), "ok:alice/0;") << nc;
  }
  alice.nc = "00000003";
  EXPECT_TRUE(IsChallenge(Get(alice.uri, Authorization(alice)), alice.nonce, true));
  // The header for one path opens no other.
  alice.nc = "0000000B";
  EXPECT_TRUE(IsChallenge(Get("/view", Authorization(alice)), alice.nonce));
}

TEST_F(DigestProcessTest, NoAccountsMeansNobodyGetsIn) {
  settings_.users.clear();
  EXPECT_TRUE(IsChallenge(Get("/", Authorization({"", "", "GET", "/", "n"})), "n"));
}

TEST_F(DigestProcessTest, HeaderIsFoundByNameNotByTheWordInTheTarget) {
  const std::string uri = "/view?word=Authorization:%20x,y&page=T-1-N-0";
  EXPECT_EQ(Get(uri, "authorization: " + Authorization(Alice(uri)).substr(15)), "ok:alice/0;");
}

TEST_F(DigestProcessTest, SchemeAndParameterNamesInAnyCaseAndSpacing) {
  std::string header = Authorization(Alice("/"));
  header = "Authorization: dIGEST \t USERNAME = " + header.substr(header.find('"'));
  EXPECT_EQ(Get("/", header), "ok:alice/0;");
}

// Browsers send a Japanese name in UTF-8 (or, per RFC 7616, as username*=UTF-8''...); older
// clients sent it in Shift-JIS. Each form finds the account, and the password hash decides:
// a hash made from UTF-8 is what a browser's answer is computed with.
TEST_F(DigestProcessTest, NonAsciiNamesInEveryFormAClientSends) {
  const std::string name = "はなこ";
  const std::string name_sjis = "\x82\xCD\x82\xC8\x82\xB1";
  const std::string utf8_ha1 = Ha1(name, "パスワード");
  settings_.users = {{name, utf8_ha1, 1, name_sjis}};
  const std::string header_star = "username*=UTF-8''%E3%81%AF%E3%81%AA%E3%81%93";
  struct Case {
    std::string user;       // the username value sent
    std::string rewritten;  // replaces `username="user"` when not empty
    bool accepted;
  };
  const Case cases[] = {
      {name, "", true},
      {name_sjis, "", true},  // a Shift-JIS client, with the hash the account holds
      {"x", header_star, true},
      {"x", "username*=utf-8'ja'%E3%81%AF%E3%81%AA%E3%81%93", true},
      {"x", "username*=UTF-8''%E3%81%AF%E3%81%AA", false},
      {"x", "username*=ISO-8859-1''%E3%81%AF%E3%81%AA%E3%81%93", false},
      {"x", "username*=UTF-8''%E3%81%AF%E3%81%AA%E3%81%9", false},
      {"はな", "", false},
  };
  for (const Case& c : cases) {
    std::string header = Authorization({c.user, utf8_ha1, "GET", "/", IssuedNonce()});
    if (!c.rewritten.empty()) {
      header.replace(header.find("username=\"x\""), std::string("username=\"x\"").size(),
                     c.rewritten);
    }
    const std::string answer = Get("/", header);
    EXPECT_EQ(answer == "ok:" + name + "/1;", c.accepted) << c.rewritten << answer;
  }
  // A name that has no Shift-JIS form is matched in UTF-8 alone.
  settings_.users = {{"\xF0\x9F\x98\x80", Ha1("\xF0\x9F\x98\x80", "pw"), 0, ""}};
  EXPECT_EQ(Get("/", Authorization({"\xF0\x9F\x98\x80", Ha1("\xF0\x9F\x98\x80", "pw"), "GET", "/",
                                    IssuedNonce()})),
            "ok:\xF0\x9F\x98\x80/0;");
  EXPECT_TRUE(IsChallenge(Get("/", Authorization({"", Ha1("", "pw"), "GET", "/", "n"})), "n"));
}

TEST(DigestFieldsTest, ParsesQuotedAndBareValues) {
  DigestFields f;
  ASSERT_TRUE(ParseDigestFields(
      "Digest username=\"a,\\\"b\", realm=\"secret\", nonce=\"n==\", uri=\"/x?a=1,2\", "
      "response=\"r\", qop=auth , nc=00000001,cnonce=\"c\", algorithm=MD5, junk, x",
      &f));
  EXPECT_EQ(f.username, "a,\"b");
  EXPECT_EQ(f.nonce, "n==");
  EXPECT_EQ(f.uri, "/x?a=1,2");
  EXPECT_EQ(f.qop, "auth");
  EXPECT_EQ(f.nc, "00000001");
  EXPECT_EQ(f.cnonce, "c");
  EXPECT_EQ(f.algorithm, "MD5");
  for (const char* other :
       {"username=\"a\"", "Basic dXNlcjpwdw==", "Digestusername=\"a\"", "Digest", ""}) {
    EXPECT_FALSE(ParseDigestFields(other, &f)) << other;
  }
}

}  // namespace
