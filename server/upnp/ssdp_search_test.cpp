#include "server/upnp/ssdp_search.h"

#include <gtest/gtest.h>

using namespace std::literals;

namespace {

TEST(SsdpSearchTest, DatagramIsExact) {
  EXPECT_EQ(SearchDatagram("urn:schemas-upnp-org:service:WANPPPConnection:1"),
            "M-SEARCH * HTTP/1.1\r\n"
            "MX: 3\r\n"
            "HOST: 239.255.255.250:1900\r\n"
            "MAN: \"ssdp:discover\"\r\n"
            "ST: urn:schemas-upnp-org:service:WANPPPConnection:1\r\n\r\n");
}

TEST(SsdpSearchTest, FindsTheLocation) {
  struct Case {
    std::string answer;
    bool found;
    std::string location;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nST: x\r\nLOCATION: http://10.77.0.1:5000/rootDesc.xml\r\nEXT:\r\n\r\n",
       true, "http://10.77.0.1:5000/rootDesc.xml"},
      // Any letter case, no blank, the value's own case kept, LF alone.
      {"location:http://10.0.0.1/Desc.XML\nx", true, "http://10.0.0.1/Desc.XML"},
      {"Location ::  \t:http://10.0.0.1/d", true, "http://10.0.0.1/d"},
      {"HTTP/1.1 200 OK\r\nST: x\r\n\r\n", false, ""},
      // Found, but empty or unusable in a request: empty.
      {"LOCATION:\r\n", true, ""},
      {"LOCATION", true, ""},
      {"LOCATION: http://10.0.0.1/a b.xml\r\n", true, ""},
      {std::string("LOCATION: http://10.0.0.1/\0x\r\n"sv), true, ""},
      {"LOCATION: http://10.0.0.1/" + std::string(3000, 'a') + "\r\n", true, ""},
  };
  for (const Case& c : cases) {
    std::string location = "before";
    EXPECT_EQ(FindLocation(c.answer, &location), c.found) << c.answer;
    EXPECT_EQ(location, c.found ? c.location : "before") << c.answer;
  }
}

}  // namespace
