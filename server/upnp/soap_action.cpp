#include "server/upnp/soap_action.h"

#include "common/config/tag_lookup.h"
#include "platform/local_address.h"

namespace {

std::string Envelope(std::string_view action_element) {
  std::string body =
      "<?xml version=\"1.0\"?>\r\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
      "  <SOAP-ENV:Body>\r\n";
  body += action_element;
  body +=
      "  </SOAP-ENV:Body>\r\n"
      "</SOAP-ENV:Envelope>\r\n";
  return body;
}

// The arguments every mapping action starts with.
std::string MappingKey(uint16_t external_port) {
  return "      <NewRemoteHost></NewRemoteHost>\r\n"
         "      <NewExternalPort>" +
         std::to_string(external_port) +
         "</NewExternalPort>\r\n"
         "      <NewProtocol>TCP</NewProtocol>\r\n";
}

}  // namespace

std::string AddPortMappingBody(std::string_view service_type, uint16_t external_port,
                               uint16_t internal_port, std::string_view internal_client,
                               uint32_t lease_seconds) {
  const std::string internal = std::to_string(internal_port);
  return Envelope(
      "    <m:AddPortMapping xmlns:m=\"" + std::string(service_type) + "\">\r\n" +
      MappingKey(external_port) + "      <NewInternalPort>" + internal + "</NewInternalPort>\r\n" +
      "      <NewInternalClient>" + std::string(internal_client) + "</NewInternalClient>\r\n" +
      "      <NewEnabled>1</NewEnabled>\r\n" + "      <NewPortMappingDescription>is" + internal +
      "</NewPortMappingDescription>\r\n" + "      <NewLeaseDuration>" +
      std::to_string(lease_seconds) + "</NewLeaseDuration>\r\n" + "    </m:AddPortMapping>\r\n");
}

std::string DeletePortMappingBody(std::string_view service_type, uint16_t external_port) {
  return Envelope("    <m:DeletePortMapping xmlns:m=\"" + std::string(service_type) + "\">\r\n" +
                  MappingKey(external_port) + "    </m:DeletePortMapping>\r\n");
}

std::string GetExternalIPAddressBody(std::string_view service_type) {
  return Envelope("<m:GetExternalIPAddress xmlns:m=\"" + std::string(service_type) +
                  "\"></m:GetExternalIPAddress>\r\n");
}

std::string SoapRequest(const GatewayTarget& target, std::string_view service_type,
                        std::string_view action, std::string_view body) {
  std::string request = "POST " + target.path + " HTTP/1.1\r\n" + "Host: " + target.host + ":" +
                        target.port + "\r\n" + "Content-Length: " + std::to_string(body.size()) +
                        "\r\n" + "Content-Type: text/xml; charset=\"utf-8\"\r\n" +
                        "Connection: Close\r\n" + "SOAPACTION: \"";
  request += service_type;
  request += '#';
  request += action;
  request += "\"\r\n\r\n";
  request += body;
  return request;
}

bool IsSuccessAnswer(std::string_view answer) {
  // "HTTP/1.x 200", then the reason phrase (not looked at) or the line end.
  return answer.size() > 12 && answer.starts_with("HTTP/1.") && answer.substr(8, 4) == " 200" &&
         (answer[12] == ' ' || answer[12] == '\r');
}

std::string ExternalAddressOf(std::string_view answer) {
  std::string value;
  if (!FindTagValue(answer, "NewExternalIPAddress", &value) || !platform::IsDottedIPv4(value)) {
    return "";
  }
  return value;
}
