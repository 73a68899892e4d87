#include "server/upnp/gateway_url.h"

void SplitUrl(std::string_view url, GatewayTarget* target) {
  if (url.starts_with('/')) {
    target->path = url;
    return;
  }
  size_t scheme_end = url.find("//");
  if (scheme_end != std::string_view::npos) url.remove_prefix(scheme_end + 2);
  size_t slash = url.find('/');
  if (slash == std::string_view::npos) return;
  std::string_view host_port = url.substr(0, slash);
  size_t colon = host_port.find(':');
  target->host = host_port.substr(0, colon);
  target->port = colon == std::string_view::npos ? "80" : host_port.substr(colon + 1);
  target->path = url.substr(slash);
}

bool IsUsableUrl(std::string_view url) {
  if (url.empty() || url.size() > kMaxGatewayUrlLength) return false;
  for (unsigned char c : url) {
    if (c <= ' ' || c >= 0x7F) return false;
  }
  return true;
}
