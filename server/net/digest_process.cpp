#include "server/net/digest_process.h"

#include <utility>

#include "common/config/md5_hex.h"
#include "platform/clock.h"
#include "platform/tcp_socket.h"
#include "platform/text.h"
#include "server/net/http_response.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

void SkipBlanks(std::string_view text, size_t* at) {
  while (*at < text.size() && IsBlank(text[*at])) ++*at;
}

// Reads a token (up to a blank, "," or "=") or a quoted string (backslash escapes one
// character) starting at *at.
std::string ReadValue(std::string_view text, size_t* at) {
  std::string value;
  if (*at < text.size() && text[*at] == '"') {
    for (++*at; *at < text.size() && text[*at] != '"'; ++*at) {
      if (text[*at] == '\\' && *at + 1 < text.size()) ++*at;
      value += text[*at];
    }
    if (*at < text.size()) ++*at;  // the closing quote
    return value;
  }
  while (*at < text.size() && !IsBlank(text[*at]) && text[*at] != ',' && text[*at] != '=') {
    value += text[(*at)++];
  }
  return value;
}

// A value that may stand in a header: the characters of a Base64 nonce, at most 64 of them.
bool IsNonceShaped(const std::string& text) {
  if (text.empty() || text.size() > 64) return false;
  for (char c : text) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '+' || c == '/' || c == '-' || c == '_' || c == '=';
    if (!ok) return false;
  }
  return true;
}

// The request count: exactly 8 hexadecimal digits.
bool ParseNc(const std::string& text, uint32_t* nc) {
  if (text.size() != 8) return false;
  uint32_t value = 0;
  for (char c : text) {
    char l = platform::AsciiToLower(c);
    int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  *nc = value;
  return true;
}

}  // namespace

bool ParseDigestFields(std::string_view value, DigestFields* fields) {
  constexpr std::string_view kScheme = "Digest";
  if (value.size() <= kScheme.size() ||
      !platform::EqualsIgnoreCase(value.substr(0, kScheme.size()), kScheme) ||
      !IsBlank(value[kScheme.size()])) {
    return false;
  }
  const std::pair<std::string_view, std::string*> names[] = {
      {"username", &fields->username},
      {"realm", &fields->realm},
      {"nonce", &fields->nonce},
      {"uri", &fields->uri},
      {"cnonce", &fields->cnonce},
      {"nc", &fields->nc},
      {"qop", &fields->qop},
      {"response", &fields->response},
      {"algorithm", &fields->algorithm},
      {"username*", &fields->username_extended},
  };
  size_t at = kScheme.size();
  while (at < value.size()) {
    SkipBlanks(value, &at);
    if (at < value.size() && value[at] == ',') {
      ++at;
      continue;
    }
    std::string name = ReadValue(value, &at);
    SkipBlanks(value, &at);
    if (at >= value.size() || value[at] != '=') {
      // Not a parameter: skip to the next comma.
      while (at < value.size() && value[at] != ',') ++at;
      continue;
    }
    ++at;
    SkipBlanks(value, &at);
    std::string text = ReadValue(value, &at);
    for (auto& [field_name, field] : names) {
      if (platform::EqualsIgnoreCase(name, field_name)) *field = text;
    }
  }
  return true;
}

bool DigestUserName(const DigestFields& fields, std::string* name) {
  if (fields.username_extended.empty()) {
    *name = fields.username;
    return true;
  }
  // charset "'" [ language ] "'" value-chars, the value percent-encoded.
  const std::string& text = fields.username_extended;
  const size_t charset_end = text.find('\'');
  const size_t language_end =
      charset_end == std::string::npos ? charset_end : text.find('\'', charset_end + 1);
  if (language_end == std::string::npos ||
      !platform::EqualsIgnoreCase(std::string_view(text).substr(0, charset_end), "UTF-8")) {
    return false;
  }
  std::string decoded;
  for (size_t at = language_end + 1; at < text.size(); ++at) {
    if (text[at] != '%') {
      decoded += text[at];
      continue;
    }
    int value = 0;
    for (size_t i = 1; i <= 2; ++i) {
      const char l = at + i < text.size() ? platform::AsciiToLower(text[at + i]) : 'x';
      const int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    decoded += static_cast<char>(value);
    at += 2;
  }
  *name = std::move(decoded);
  return true;
}

Response DigestChallengeResponse(const std::string& client_nonce, const std::string& nonce,
                                 bool stale) {
  return HttpResponse("401 OK")
      .ContentLength(0)
      .SecurityPolicy(IsNonceShaped(client_nonce) ? client_nonce : std::string())
      .Close()
      .Header("WWW-Authenticate", "Digest realm=\"secret\", nonce=\"" + nonce +
                                      "\",algorithm=MD5,qop=\"auth\"" +
                                      (stale ? ",stale=true" : ""))
      .Header("Content-Type", "text/html")
      .Finish();
}

CDigestProcess::CDigestProcess(const ServerSettings& settings, const DigestLimits& limits)
    : settings_(settings),
      nonces_(limits.nonce_lifetime_ms, limits.max_recorded_nonces),
      failures_(limits.failure_limit, limits.failure_window_ms, limits.lockout_ms,
                limits.max_tracked_clients) {}

CDigestProcess::Verdict CDigestProcess::Check(const HttpRequest& request,
                                              const DigestFields& fields, int64_t now_ms,
                                              std::vector<UserAccount>* accounts) {
  std::string name;
  if (!DigestUserName(fields, &name)) return Verdict::kFailed;
  if (fields.uri != request.target_text || fields.qop != "auth" || fields.cnonce.empty()) {
    return Verdict::kFailed;
  }
  uint32_t nc = 0;
  if (!ParseNc(fields.nc, &nc)) return Verdict::kFailed;
  const std::string ha2 = MD5Hex(std::string(request.method) + ":" + fields.uri);
  // Browsers send the name in UTF-8; older clients sent it in code page 932. An account whose
  // name has no code page 932 form has an empty one, which no sent name equals. Several
  // accounts may share a name: the one whose password the answer proves is the user, and
  // its right is the one that counts, so a password never lends another record's right.
  // An account without a hash has no secret: an empty HA1 would let anyone in.
  const UserAccount* user = nullptr;
  for (const UserAccount& account : settings_.users) {
    if (name != account.name && (account.name_cp932.empty() || name != account.name_cp932)) {
      continue;
    }
    if (account.hash.empty()) continue;
    const std::string expected = MD5Hex(account.hash + ":" + fields.nonce + ":" + fields.nc + ":" +
                                        fields.cnonce + ":" + fields.qop + ":" + ha2);
    if (fields.response == expected) {
      user = &account;
      break;
    }
  }
  if (user == nullptr) return Verdict::kFailed;
  accounts->push_back(*user);
  // The password is right; whether the nonce still counts decides between going on and
  // asking the client to repeat the request with a new one.
  return nonces_.Record(fields.nonce, nc, now_ms) == DigestNonces::Use::kAccepted
             ? Verdict::kAccepted
             : Verdict::kStale;
}

int CDigestProcess::Process(IncomingRequest& incoming) {
  if (settings_.need_user == 0) return 0;
  const HttpRequest& request = incoming.http();

  int64_t now = platform::TickCountMs();
  std::string value;
  DigestFields fields;
  Verdict verdict = Verdict::kFailed;
  // Failures are counted per client address, asked of the socket only when users are required.
  const std::string client_address = incoming.responder().PeerAddress();
  if (request.Header("Authorization", &value) && !failures_.Refused(client_address, now)) {
    std::vector<UserAccount> accounts;
    verdict = ParseDigestFields(value, &fields) ? Check(request, fields, now, &accounts)
                                                : Verdict::kFailed;
    if (verdict == Verdict::kAccepted) {
      incoming.set_accounts(std::move(accounts));
      return 0;
    }
    if (verdict == Verdict::kFailed) failures_.RecordFailure(client_address, now);
  }
  incoming.Respond(
      DigestChallengeResponse(fields.nonce, nonces_.Issue(now), verdict == Verdict::kStale));
  return 1;
}
