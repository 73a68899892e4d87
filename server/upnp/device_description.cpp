#include "server/upnp/device_description.h"

#include "common/config/tag_lookup.h"
#include "server/upnp/ssdp_search.h"

std::string DescriptionRequest(const GatewayTarget& target) {
  return "GET " + target.path + " HTTP/1.1\r\n" + "Host: " + target.host + ":" + target.port +
         "\r\n" + "Connection: Close\r\n\r\n";
}

bool FindControlUrl(std::string_view description, std::string* service_type,
                    std::string* control_url) {
  for (std::string_view type : kWanServiceTypes) {
    size_t at = description.find(type);
    if (at == std::string_view::npos) continue;
    service_type->assign(type);
    std::string value;
    if (!FindTagValue(description.substr(at), "controlURL", &value) || !IsUsableUrl(value)) {
      return false;
    }
    *control_url = std::move(value);
    return true;
  }
  return false;
}
