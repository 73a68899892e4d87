// The first handler: when the configuration asks for users, every request must carry valid
// HTTP Digest credentials (MD5, qop "auth") of a configured user, or it is answered with
// the 401 challenge. An accepted request goes on carrying the user's accounts.
//
// Credentials count only with a nonce this process issued and has not yet retired, for the
// very target of the request, and once per request count (nc): a sniffed request cannot be
// replayed, nor its header used for another path. A correct answer on a retired nonce gets a
// challenge marked stale, on which clients retry with the new nonce without asking the user.
// An address that fails too often is refused for a while.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/config/server_settings.h"
#include "server/net/digest_nonce.h"
#include "server/net/failure_throttle.h"
#include "server/net/request_process.h"

// The fields of a Digest Authorization header value that the check reads.
struct DigestFields {
  std::string username, realm, nonce, uri, cnonce, nc, qop, response, algorithm;
  // "username*" (RFC 7616): charset, language and the percent-encoded name, as sent.
  std::string username_extended;
};

// The user name a client means: the "username*" form decoded when it is there and names the
// UTF-8 charset (in any letter case), else "username" as sent. False when "username*" is there
// but not of that form.
bool DigestUserName(const DigestFields& fields, std::string* name);

struct DigestLimits {
  int64_t nonce_lifetime_ms = 10 * 60 * 1000;
  size_t max_recorded_nonces = 65536;
  // Wrong credentials from one address: `failure_limit` within `failure_window_ms` lock it
  // out for `lockout_ms`.
  int failure_limit = 10;
  int64_t failure_window_ms = 60 * 1000;
  int64_t lockout_ms = 60 * 1000;
  size_t max_tracked_clients = 4096;
};

class CDigestProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CDigestProcess(const ServerSettings& settings, const DigestLimits& limits = {});

  std::string GetPath() override { return ""; }
  // Declines a request with valid credentials, leaving the user's accounts in it.
  int Process(IncomingRequest& request) override;

 private:
  enum class Verdict { kAccepted, kStale, kFailed };
  // Fills `accounts` with the account whose password the credentials prove (the first such
  // of its name) when they are right.
  Verdict Check(const HttpRequest& request, const DigestFields& fields, int64_t now_ms,
                std::vector<UserAccount>* accounts);

  const ServerSettings& settings_;
  DigestNonces nonces_;       // main thread only, as the handler
  FailureThrottle failures_;  // main thread only
};

// Reads an Authorization header value: the scheme "Digest" (in any letter case) and white
// space, then comma-separated name=value parameters, the value a token or a quoted string.
// Names are matched without regard to case; a later parameter wins. False when the scheme
// is not Digest.
bool ParseDigestFields(std::string_view value, DigestFields* fields);

// The 401 response. `client_nonce` is the nonce the client sent: it is echoed in the
// Content-Security-Policy only when it has the form of a nonce (else the echo is empty).
Response DigestChallengeResponse(const std::string& client_nonce, const std::string& nonce,
                                 bool stale);
