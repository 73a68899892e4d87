#include "server/upnp/gateway_url.h"

#include <gtest/gtest.h>

namespace {

TEST(GatewayUrlTest, SplitsUrls) {
  const GatewayTarget before{"10.0.0.9", "9", "/old"};
  struct Case {
    const char* url;
    GatewayTarget expected;
  } cases[] = {
      {"http://10.77.0.1:5000/rootDesc.xml", {"10.77.0.1", "5000", "/rootDesc.xml"}},
      {"http://10.0.0.1/desc.xml", {"10.0.0.1", "80", "/desc.xml"}},
      {"10.0.0.1:49152/ctl?x=1", {"10.0.0.1", "49152", "/ctl?x=1"}},
      // A bare path keeps the host and port.
      {"/ctl/IPConn", {"10.0.0.9", "9", "/ctl/IPConn"}},
      // Without a path nothing changes.
      {"http://10.0.0.1:5000", before},
      {"", before},
      {"http://:/", {"", "", "/"}},
  };
  for (const Case& c : cases) {
    GatewayTarget target = before;
    SplitUrl(c.url, &target);
    EXPECT_EQ(target.host, c.expected.host) << c.url;
    EXPECT_EQ(target.port, c.expected.port) << c.url;
    EXPECT_EQ(target.path, c.expected.path) << c.url;
  }
}

TEST(GatewayUrlTest, UsableUrls) {
  EXPECT_TRUE(IsUsableUrl("http://10.0.0.1:5000/a?b=c&d=%20"));
  EXPECT_TRUE(IsUsableUrl(std::string(kMaxGatewayUrlLength, 'a')));
  for (std::string url : {std::string(""), std::string("/a b"), std::string("/a\r\nX: y"),
                          std::string("/a\tb"), std::string("/\x7F"), std::string("/\xC3\xA9"),
                          std::string(kMaxGatewayUrlLength + 1, 'a')}) {
    EXPECT_FALSE(IsUsableUrl(url)) << url;
  }
}

}  // namespace
