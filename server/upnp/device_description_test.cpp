#include "server/upnp/device_description.h"

#include <gtest/gtest.h>

using namespace std::literals;

namespace {

std::string Service(const std::string& type, const std::string& control) {
  return "<service><serviceType>urn:schemas-upnp-org:service:" + type +
         "</serviceType><controlURL>" + control + "</controlURL></service>";
}

TEST(DeviceDescriptionTest, RequestIsExact) {
  EXPECT_EQ(DescriptionRequest({"10.77.0.1", "5000", "/rootDesc.xml"}),
            "GET /rootDesc.xml HTTP/1.1\r\nHost: 10.77.0.1:5000\r\nConnection: Close\r\n\r\n");
}

TEST(DeviceDescriptionTest, FindsTheControlUrlByServiceOrder) {
  struct Case {
    const char* label;
    std::string description;
    bool found;
    std::string service_type;
    std::string control_url;
  } cases[] = {
      {"IP:1 wins over an earlier PPP:1",
       "HTTP/1.1 200 OK\r\n\r\n<root>" + Service("WANPPPConnection:1", "/ppp") +
           Service("WANIPConnection:1", "/ip") + "</root>",
       true, "urn:schemas-upnp-org:service:WANIPConnection:1", "/ip"},
      {"v2 only", Service("WANIPConnection:2", "http://10.0.0.1:1900/c2"), true,
       "urn:schemas-upnp-org:service:WANIPConnection:2", "http://10.0.0.1:1900/c2"},
      {"the first controlURL after the type, even another service's",
       Service("WANCommonInterfaceConfig:1", "/cmn") +
           "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
           "<service><controlURL>/next</controlURL>",
       true, "urn:schemas-upnp-org:service:WANIPConnection:1", "/next"},
      {"opening tag matched by prefix",
       "urn:schemas-upnp-org:service:WANIPConnection:1<controlURLx a=\"1\">/c</controlURL>", true,
       "urn:schemas-upnp-org:service:WANIPConnection:1", "/c"},
      {"no service type", "<root><controlURL>/c</controlURL></root>", false, "", ""},
      {"no controlURL", "urn:schemas-upnp-org:service:WANIPConnection:1</service>", false,
       "urn:schemas-upnp-org:service:WANIPConnection:1", ""},
      {"unclosed controlURL", "urn:schemas-upnp-org:service:WANIPConnection:1<controlURL>/c", false,
       "urn:schemas-upnp-org:service:WANIPConnection:1", ""},
      {"control URL that would split the request",
       Service("WANIPConnection:1", "/c HTTP/1.1\r\nHost: evil\r\n\r\nGET /x"), false,
       "urn:schemas-upnp-org:service:WANIPConnection:1", ""},
      {"huge control URL", Service("WANIPConnection:1", "/" + std::string(100000, 'c')), false,
       "urn:schemas-upnp-org:service:WANIPConnection:1", ""},
      {"binary garbage", std::string("\0\xff<controlURL>\x01</controlURL>"sv), false, "", ""},
  };
  for (const Case& c : cases) {
    std::string service_type, control_url;
    EXPECT_EQ(FindControlUrl(c.description, &service_type, &control_url), c.found) << c.label;
    EXPECT_EQ(service_type, c.service_type) << c.label;
    EXPECT_EQ(control_url, c.control_url) << c.label;
  }
}

}  // namespace
