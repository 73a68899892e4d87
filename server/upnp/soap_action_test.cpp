#include "server/upnp/soap_action.h"

#include <gtest/gtest.h>

using namespace std::literals;

namespace {

TEST(SoapActionTest, SuccessIsAStatus200) {
  struct Case {
    const char* answer;
    bool success;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\n", true},
      {"HTTP/1.0 200 OK\r\n", true},
      {"HTTP/1.1 200\r\n", true},
      {"HTTP/1.1 500 Internal Server Error\r\n\r\n<UPnPError>", false},
      {"HTTP/1.1 2000 OK\r\n", false},
      {"HTTP/1.1 200", false},
      {"", false},
      {"garbage 200 OK", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSuccessAnswer(c.answer), c.success) << c.answer;
}

TEST(SoapActionTest, ExternalAddressMustBeDottedIPv4) {
  struct Case {
    std::string answer;
    const char* address;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\n<u:R><NewExternalIPAddress>203.0.113.1</NewExternalIPAddress></u:R>",
       "203.0.113.1"},
      {"<NewExternalIPAddress></NewExternalIPAddress>", ""},
      {"<NewExternalIPAddress><script>x</script></NewExternalIPAddress>", ""},
      {"<NewExternalIPAddress>1.2.3.4\r\n</NewExternalIPAddress>", ""},
      {"<NewExternalIPAddress>1.2.3.4", ""},
      {"<NewExternalIPAddress>" + std::string(100000, '1') + "</NewExternalIPAddress>", ""},
      {std::string("\0\x80\xff"sv), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ExternalAddressOf(c.answer), c.address) << c.answer;
}

}  // namespace
