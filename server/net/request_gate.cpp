#include "server/net/request_gate.h"

#include <string>
#include <string_view>

#include "platform/text.h"
#include "server/net/http_response.h"

namespace {

// The host and port of an absolute URL ("http://host:port/path" -> "host:port"); empty when
// `url` has no scheme.
std::string_view Authority(std::string_view url) {
  const size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme_end + 3);
  return rest.substr(0, rest.find_first_of("/?#"));
}

}  // namespace

Response RefusalResponse(std::string_view status) {
  return HttpResponse(status).ContentLength(0).Close().Finish();
}

bool FromOwnOrigin(const HttpRequest& request) {
  std::string origin;
  if (!request.Header("Origin", &origin) && !request.Header("Referer", &origin)) return true;
  std::string host;
  // "null" (a sandboxed or privacy-hiding page) names no host, so it is never the gallery.
  const std::string_view authority = Authority(origin);
  return request.Header("Host", &host) && !authority.empty() &&
         platform::EqualsIgnoreCase(authority, host);
}

std::optional<Response> GateRefusal(const HttpRequest& request) {
  if (request.target_text.size() > kMaxTargetBytes) return RefusalResponse("414 URI Too Long");
  const std::string_view method = request.method;
  if (method != "GET" && method != "HEAD" && method != "POST") {
    return HttpResponse("405 Method Not Allowed")
        .ContentLength(0)
        .Header("Allow", "GET, HEAD, POST")
        .Close()
        .Finish();
  }
  if (method == "POST" && !FromOwnOrigin(request)) return RefusalResponse("403 Forbidden");
  return std::nullopt;
}
