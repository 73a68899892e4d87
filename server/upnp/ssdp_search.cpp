#include "server/upnp/ssdp_search.h"

#include "platform/text.h"
#include "server/upnp/gateway_url.h"

std::string SearchDatagram(std::string_view service_type) {
  std::string datagram =
      "M-SEARCH * HTTP/1.1\r\n"
      "MX: 3\r\n"
      "HOST: 239.255.255.250:1900\r\n"
      "MAN: \"ssdp:discover\"\r\n"
      "ST: ";
  datagram += service_type;
  datagram += "\r\n\r\n";
  return datagram;
}

bool FindLocation(std::string_view answer, std::string* location) {
  const std::string lower = platform::AsciiToLower(answer);
  size_t name = lower.find("location");
  if (name == std::string::npos) return false;
  location->clear();
  size_t start = answer.find(':', name);
  if (start == std::string_view::npos) return true;
  start = answer.find_first_not_of(": \t", start);
  if (start == std::string_view::npos) return true;
  size_t end = answer.find_first_of("\r\n", start);
  std::string_view value = answer.substr(start, end == std::string_view::npos ? end : end - start);
  if (IsUsableUrl(value)) location->assign(value);
  return true;
}
