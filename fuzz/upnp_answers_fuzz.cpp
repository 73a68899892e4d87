// What a gateway sends back: a search answer, a device description, a SOAP answer. The
// values taken from them must always be fit for the requests and pages they go into.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/local_address.h"
#include "server/upnp/device_description.h"
#include "server/upnp/gateway_url.h"
#include "server/upnp/soap_action.h"
#include "server/upnp/ssdp_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view answer(reinterpret_cast<const char*>(data), size);

  std::string location;
  if (FindLocation(answer, &location)) {
    if (!location.empty() && !IsUsableUrl(location)) __builtin_trap();
    GatewayTarget target;
    SplitUrl(location, &target);
  }

  std::string service_type, control_url;
  if (FindControlUrl(answer, &service_type, &control_url)) {
    if (!IsUsableUrl(control_url) || service_type.empty()) __builtin_trap();
    GatewayTarget target{"10.0.0.1", "5000", "/"};
    SplitUrl(control_url, &target);
    if (target.path.empty() || target.path[0] != '/') __builtin_trap();
  }

  const std::string address = ExternalAddressOf(answer);
  if (!address.empty() && !platform::IsDottedIPv4(address)) __builtin_trap();
  IsSuccessAnswer(answer);
  return 0;
}
