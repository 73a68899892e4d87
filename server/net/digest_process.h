// The first handler: when the configuration asks for users, every request must carry valid
// HTTP Digest credentials (MD5, qop "auth") of a configured user, or it is answered with
// the 401 challenge. An accepted request goes on with the user's accounts as its context.
#pragma once

#include <string>
#include <vector>

#include "common/config/server_settings.h"
#include "server/net/request_process.h"

class CDigestProcess : public CRequestProcess {
 public:
  // `settings` must outlive the handler.
  explicit CDigestProcess(const ServerSettings& settings) : settings_(settings) {}

  std::string GetPath() override { return ""; }
  int ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                 const HttpRequest& request) override;
  int WantsRawRequest() override { return 1; }
  int PassesContext() override { return 1; }

 private:
  const ServerSettings& settings_;
};

// The fields of a Digest Authorization header value that the check reads.
struct DigestFields {
  std::string username, realm, nonce, uri, cnonce, nc, qop, response, algorithm;
};

// Splits the header value at the commas outside double quotes; each "name=value" part with
// a known name sets that field (a later part wins). Quoted values lose their quotes. The
// scheme word stays part of the first name, so the user is found only as "Digest username".
DigestFields ParseDigestFields(const std::string& value);

// The 401 response; `client_nonce` is the nonce the client sent (may be empty).
std::string DigestChallengeResponse(const std::string& client_nonce, const std::string& nonce);
