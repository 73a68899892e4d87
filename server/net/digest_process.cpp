#include "server/net/digest_process.h"

#include <utility>

#include "common/config/md5_hex.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"

namespace {

std::vector<std::string> SplitOutsideQuotes(const std::string& value) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : value) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

DigestFields ParseDigestFields(const std::string& value) {
  DigestFields fields;
  const std::pair<const char*, std::string*> names[] = {
      {"Digest username", &fields.username},
      {"realm", &fields.realm},
      {"nonce", &fields.nonce},
      {"uri", &fields.uri},
      {"cnonce", &fields.cnonce},
      {"nc", &fields.nc},
      {"qop", &fields.qop},
      {"response", &fields.response},
      {"algorithm", &fields.algorithm},
  };
  for (const std::string& part : SplitOutsideQuotes(value)) {
    size_t equals = part.find('=');
    if (equals == std::string::npos) continue;
    size_t name_start = part.find_first_not_of(' ');
    std::string name = part.substr(name_start, equals - name_start);
    std::string text = part.substr(equals + 1);
    size_t first_quote = text.find('"');
    if (first_quote != std::string::npos) {
      size_t last_quote = text.rfind('"');
      text = last_quote > first_quote ? text.substr(first_quote + 1, last_quote - first_quote - 1)
                                      : text.substr(first_quote + 1);
    }
    for (auto& [field_name, field] : names) {
      if (name == field_name) *field = text;
    }
  }
  return fields;
}

std::string DigestChallengeResponse(const std::string& client_nonce, const std::string& nonce) {
  return HttpResponse("401 OK")
      .ContentLength(0)
      .SecurityPolicy(client_nonce)
      .Close()
      .Header("WWW-Authenticate",
              "Digest realm=\"secret\", nonce=\"" + nonce + "\",algorithm=MD5,qop=\"auth\"")
      .Header("Content-Type", "text/html")
      .Finish();
}

int CDigestProcess::ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                               const HttpRequest& request) {
  mutable_context().clear();
  if (settings_.need_user == 0) return 0;

  std::string value;
  DigestFields fields;
  bool has_header = request.Header("Authorization", &value) && !value.empty() && value[0] != ':';
  if (has_header) {
    fields = ParseDigestFields(value);
    std::string ha1;
    for (const UserAccount& account : settings_.users) {
      if (account.name != fields.username) continue;
      ha1 = account.hash;  // with duplicate names the later account's hash counts
      mutable_context().push_back(account);
    }
    std::string ha2 = MD5Hex(std::string(request.method) + ":" + fields.uri);
    std::string expected = MD5Hex(ha1 + ":" + fields.nonce + ":" + fields.nc + ":" + fields.cnonce +
                                  ":" + fields.qop + ":" + ha2);
    // Without a configured user there is no secret: an empty HA1 would let anyone in.
    if (!mutable_context().empty() && fields.response == expected) return 0;
  }
  mutable_context().clear();
  server()->Respond(socket, connection_id, DigestChallengeResponse(fields.nonce, MakeNonce()));
  return 1;
}
