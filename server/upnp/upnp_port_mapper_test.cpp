#include "server/upnp/upnp_port_mapper.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "server/upnp/testing/fake_gateway.h"

namespace {

ServerSettings UpnpSettings(uint16_t upnp_port = 0) {
  ServerSettings settings;
  settings.upnp = 1;
  settings.port = FreeUdpPort();
  settings.upnp_port = upnp_port;
  return settings;
}

constexpr char kEnvelopeStart[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n"
    "  <SOAP-ENV:Body>\r\n";
constexpr char kEnvelopeEnd[] =
    "  </SOAP-ENV:Body>\r\n"
    "</SOAP-ENV:Envelope>\r\n";

std::string ExpectedPost(uint16_t http_port, const std::string& action, const std::string& body) {
  return "POST /ctl/IPConn HTTP/1.1\r\n"
         "Host: 127.0.0.1:" +
         std::to_string(http_port) + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n"
         "Content-Type: text/xml; charset=\"utf-8\"\r\n"
         "Connection: Close\r\n"
         "SOAPACTION: \"urn:schemas-upnp-org:service:WANIPConnection:1#" +
         action + "\"\r\n\r\n" + body;
}

std::string ExpectedAdd(uint16_t http_port, uint16_t external, uint16_t internal,
                        const std::string& client) {
  return ExpectedPost(
      http_port, "AddPortMapping",
      std::string(kEnvelopeStart) +
          "    <m:AddPortMapping xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">\r\n"
          "      <NewRemoteHost></NewRemoteHost>\r\n"
          "      <NewExternalPort>" +
          std::to_string(external) +
          "</NewExternalPort>\r\n"
          "      <NewProtocol>TCP</NewProtocol>\r\n"
          "      <NewInternalPort>" +
          std::to_string(internal) +
          "</NewInternalPort>\r\n"
          "      <NewInternalClient>" +
          client +
          "</NewInternalClient>\r\n"
          "      <NewEnabled>1</NewEnabled>\r\n"
          "      <NewPortMappingDescription>is" +
          std::to_string(internal) +
          "</NewPortMappingDescription>\r\n"
          "      <NewLeaseDuration>3600</NewLeaseDuration>\r\n"
          "    </m:AddPortMapping>\r\n" +
          kEnvelopeEnd);
}

std::string ExpectedDelete(uint16_t http_port, uint16_t external) {
  return ExpectedPost(
      http_port, "DeletePortMapping",
      std::string(kEnvelopeStart) +
          "    <m:DeletePortMapping xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">\r\n"
          "      <NewRemoteHost></NewRemoteHost>\r\n"
          "      <NewExternalPort>" +
          std::to_string(external) +
          "</NewExternalPort>\r\n"
          "      <NewProtocol>TCP</NewProtocol>\r\n"
          "    </m:DeletePortMapping>\r\n" +
          kEnvelopeEnd);
}

std::string ExpectedQuery(uint16_t http_port) {
  return ExpectedPost(http_port, "GetExternalIPAddress",
                      std::string(kEnvelopeStart) +
                          "<m:GetExternalIPAddress "
                          "xmlns:m=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
                          "</m:GetExternalIPAddress>\r\n" +
                          kEnvelopeEnd);
}

TEST(UpnpPortMapperTest, MapsQueriesAndUnmapsThroughTheGateway) {
  for (bool own_external_port : {false, true}) {
    SCOPED_TRACE(own_external_port ? "UPnP_PORT set" : "UPnP_PORT 0");
    const ServerSettings settings = UpnpSettings(own_external_port ? FreeUdpPort() : 0);
    const uint16_t external = own_external_port ? settings.upnp_port : settings.port;
    FakeGateway gateway;
    UpnpPortMapper mapper(settings, gateway.Network());
    mapper.MapPort();
    EXPECT_EQ(mapper.stage(), 2);
    EXPECT_EQ(mapper.external_port(), external);

    // One search, answered at once, sent from the external port.
    std::vector<FakeGateway::Search> searches = gateway.searches();
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_EQ(searches[0].datagram, SearchDatagram(kWanServiceTypes[0]));
    EXPECT_EQ(searches[0].sender_port, external);

    // The description from the location's host and port, then the control URL, a bare path,
    // on the same host and port.
    const uint16_t http = gateway.http_port();
    std::vector<std::string> requests = gateway.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], "GET /rootDesc.xml HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(http) +
                               "\r\nConnection: Close\r\n\r\n");
    EXPECT_EQ(requests[1], ExpectedAdd(http, external, settings.port, mapper.local_address()));
    EXPECT_EQ(requests[2], ExpectedQuery(http));

    // The address was kept: asking again sends nothing.
    EXPECT_EQ(mapper.GetExternalAddress(), "203.0.113.1");
    EXPECT_EQ(mapper.GetPublicBaseUrl(), "http://203.0.113.1:" + std::to_string(external));
    EXPECT_EQ(gateway.requests().size(), 3u);

    mapper.UnmapPort();
    requests = gateway.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3], ExpectedDelete(http, external));
  }
}

TEST(UpnpPortMapperTest, UpnpOffSendsNothing) {
  ServerSettings settings = UpnpSettings();
  settings.upnp = 0;
  FakeGateway gateway;
  UpnpPortMapper mapper(settings, gateway.Network());
  mapper.MapPort();
  EXPECT_EQ(mapper.GetExternalAddress(), "");
  const std::string url = mapper.GetPublicBaseUrl();
  EXPECT_EQ(url, "http://" + mapper.local_address() + ":" + std::to_string(settings.port));
  mapper.UnmapPort();
  platform::SleepMs(50);
  EXPECT_EQ(mapper.stage(), 0);
  EXPECT_TRUE(gateway.searches().empty());
  EXPECT_TRUE(gateway.requests().empty());
}

TEST(UpnpPortMapperTest, SilentGatewayLeavesStageZeroAfterTheSearchWaits) {
  FakeGateway::Behaviour silent;
  silent.search_answer = "";
  FakeGateway gateway(silent);
  const ServerSettings settings = UpnpSettings();
  constexpr int kWaitMs = 40;
  UpnpPortMapper mapper(settings, gateway.Network(kWaitMs));
  const int64_t start = platform::TickCountMs();
  mapper.MapPort();
  const int64_t elapsed = platform::TickCountMs() - start;
  EXPECT_EQ(mapper.stage(), 0);
  // Two waits per service type, and not much more.
  EXPECT_GE(elapsed, 2 * kWaitMs * 5 - 10);
  EXPECT_LT(elapsed, 2 * kWaitMs * 5 + 1000);
  std::vector<FakeGateway::Search> searches = gateway.searches();
  ASSERT_EQ(searches.size(), kWanServiceTypes.size());
  for (size_t i = 0; i < searches.size(); ++i) {
    EXPECT_EQ(searches[i].datagram, SearchDatagram(kWanServiceTypes[i]));
    EXPECT_EQ(searches[i].sender_port, settings.port);
  }
  EXPECT_TRUE(gateway.requests().empty());
}

TEST(UpnpPortMapperTest, SearchAnswerDecidesTheStage) {
  struct Case {
    const char* label;
    std::string answer;
    int32_t stage;
  } cases[] = {
      {"no location", "HTTP/1.1 200 OK\r\nST: x\r\n\r\n", 0},
      {"empty location", "HTTP/1.1 200 OK\r\nLOCATION: \r\n\r\n", 1},
      {"unusable location", "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/a\x01\r\n\r\n", 1},
      {"host name instead of an address", "LOCATION: http://localhost:{HTTP_PORT}/d.xml\r\n", 1},
  };
  for (const Case& c : cases) {
    FakeGateway::Behaviour behaviour;
    behaviour.search_answer = c.answer;
    FakeGateway gateway(behaviour);
    const ServerSettings settings = UpnpSettings();
    UpnpPortMapper mapper(settings, gateway.Network());
    mapper.MapPort();
    EXPECT_EQ(mapper.stage(), c.stage) << c.label;
    EXPECT_EQ(gateway.searches().size(), 1u) << c.label;
    EXPECT_TRUE(gateway.requests().empty()) << c.label;
  }
}

TEST(UpnpPortMapperTest, GatewayThatNeverAnswersCannotHoldTheStart) {
  FakeGateway::Behaviour mute;
  mute.answer_http = false;
  FakeGateway gateway(mute);
  constexpr int kExchangeMs = 300;
  const ServerSettings settings = UpnpSettings();
  UpnpPortMapper mapper(settings, gateway.Network(200, kExchangeMs));
  const int64_t start = platform::TickCountMs();
  mapper.MapPort();
  const int64_t elapsed = platform::TickCountMs() - start;
  EXPECT_EQ(mapper.stage(), 1);
  EXPECT_GE(elapsed, kExchangeMs - 10);
  EXPECT_LT(elapsed, kExchangeMs + 1000);
  EXPECT_EQ(gateway.requests().size(), 1u);
  mapper.UnmapPort();
  EXPECT_EQ(gateway.requests().size(), 1u);
}

TEST(UpnpPortMapperTest, RejectedMappingIsNotReportedAsMade) {
  FakeGateway::Behaviour rejecting;
  rejecting.add_status = "500 Internal Server Error";
  FakeGateway gateway(rejecting);
  const ServerSettings settings = UpnpSettings();
  UpnpPortMapper mapper(settings, gateway.Network());
  mapper.MapPort();
  EXPECT_EQ(mapper.stage(), 1);
  EXPECT_EQ(mapper.GetExternalAddress(), "");
  mapper.UnmapPort();
  std::vector<std::string> requests = gateway.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].find("#AddPortMapping\""), std::string::npos);
}

TEST(UpnpPortMapperTest, DescriptionOfferingPppAndIpUsesIp) {
  FakeGateway::Behaviour both;
  both.description =
      "<root><serviceList>"
      "<service><serviceType>urn:schemas-upnp-org:service:WANPPPConnection:1</serviceType>"
      "<controlURL>/ctl/PPPConn</controlURL></service>"
      "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
      "<controlURL>http://127.0.0.1:{HTTP_PORT}/ctl/IPConn</controlURL></service>"
      "</serviceList></root>";
  FakeGateway gateway(both);
  const ServerSettings settings = UpnpSettings();
  UpnpPortMapper mapper(settings, gateway.Network());
  mapper.MapPort();
  EXPECT_EQ(mapper.stage(), 2);
  std::vector<std::string> requests = gateway.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1],
            ExpectedAdd(gateway.http_port(), settings.port, settings.port, mapper.local_address()));
}

TEST(UpnpPortMapperTest, FailedAddressQueryIsRepeatedOnlyAfterItsPause) {
  for (int retry_ms : {0, 60000}) {
    FakeGateway::Behaviour no_address;
    no_address.external_address = "";
    FakeGateway gateway(no_address);
    UpnpNetwork network = gateway.Network();
    network.address_retry_ms = retry_ms;
    const ServerSettings settings = UpnpSettings();
    UpnpPortMapper mapper(settings, network);
    mapper.MapPort();
    EXPECT_EQ(mapper.stage(), 2);
    EXPECT_EQ(gateway.requests().size(), 3u);
    EXPECT_EQ(mapper.GetExternalAddress(), "");
    EXPECT_EQ(mapper.GetExternalAddress(), "");
    // The first call asks again; the second only when no pause is set.
    EXPECT_EQ(gateway.requests().size(), retry_ms == 0 ? 5u : 4u) << retry_ms;
  }
}

TEST(UpnpPortMapperTest, LocalAddressAvoidsLoopback) {
  struct Case {
    const char* host_name;
    const char* routed;
    const char* chosen;
  } cases[] = {
      {"127.0.1.1", "10.77.0.2", "10.77.0.2"},  // Debian's host name entry
      {"127.0.0.1", "10.77.0.2", "10.77.0.2"},     {"", "10.77.0.2", "10.77.0.2"},
      {"192.168.1.5", "10.77.0.2", "192.168.1.5"}, {"127.0.1.1", "", "127.0.1.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseLocalAddress(c.host_name, c.routed), c.chosen) << c.host_name << c.routed;
  }
}

}  // namespace
