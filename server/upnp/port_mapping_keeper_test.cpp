#include "server/upnp/port_mapping_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/testing/test_eventually.h"
#include "server/upnp/testing/fake_gateway.h"

namespace {

ServerSettings UpnpSettings() {
  ServerSettings settings;
  settings.upnp = 1;
  settings.port = FreeUdpPort();
  return settings;
}

// How many of `requests` are the SOAP action `action`.
size_t Count(const std::vector<std::string>& requests, const std::string& action) {
  size_t count = 0;
  for (const std::string& request : requests) {
    count += request.find("#" + action + "\"") != std::string::npos;
  }
  return count;
}

// The mapping is made with a finite lease, renewed while the keeper runs, and removed last.
TEST(PortMappingKeeperTest, RenewsTheLeaseWhileRunningAndRemovesTheMappingAtStop) {
  FakeGateway gateway;
  const ServerSettings settings = UpnpSettings();
  PortMappingKeeper keeper(settings, gateway.Network(), /*renew_interval_ms=*/50);
  std::atomic<int> mapped{0};
  keeper.Start([&] { mapped = keeper.mapper().stage(); });
  ASSERT_TRUE(Eventually([&] { return keeper.renewals() >= 2; }));
  EXPECT_EQ(keeper.mapper().stage(), 2);
  EXPECT_EQ(mapped.load(), 2);  // told once the mapping was made
  EXPECT_EQ(keeper.mapper().KnownExternalAddress(), "203.0.113.1");
  keeper.Stop();
  const std::vector<std::string> requests = gateway.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_GE(Count(requests, "AddPortMapping"), 3u);
  for (const std::string& request : requests) {
    if (request.find("#AddPortMapping\"") == std::string::npos) continue;
    EXPECT_NE(request.find("<NewLeaseDuration>3600</NewLeaseDuration>"), std::string::npos);
  }
  EXPECT_NE(requests.back().find("#DeletePortMapping\""), std::string::npos);
  EXPECT_EQ(Count(requests, "DeletePortMapping"), 1u);
  EXPECT_EQ(UpnpPortMapper::kLeaseSeconds, 3600u);
  EXPECT_EQ(PortMappingKeeper::kRenewIntervalMs, 1800 * 1000);
}

// A gateway that makes the mapping and then never answers holds only the keeper's thread:
// Start returns at once, the address stays unknown without any wait for whoever asks, and
// Stop waits for one exchange at most.
TEST(PortMappingKeeperTest, StallingGatewayHoldsOnlyItsOwnThread) {
  FakeGateway::Behaviour stalling;
  stalling.answer_after_mapping = false;
  FakeGateway gateway(stalling);
  constexpr int kExchangeMs = 1000;
  const ServerSettings settings = UpnpSettings();
  PortMappingKeeper keeper(settings, gateway.Network(200, kExchangeMs));
  const int64_t start = platform::TickCountMs();
  keeper.Start();
  EXPECT_LT(platform::TickCountMs() - start, 100);
  ASSERT_TRUE(Eventually([&] { return keeper.mapper().stage() == 2; }));
  EXPECT_EQ(keeper.mapper().KnownExternalAddress(), "");
  const int64_t stop = platform::TickCountMs();
  keeper.Stop();
  EXPECT_LT(platform::TickCountMs() - stop, 3 * kExchangeMs + 500);
}

TEST(PortMappingKeeperTest, UpnpOffStartsNothing) {
  FakeGateway gateway;
  ServerSettings settings = UpnpSettings();
  settings.upnp = 0;
  PortMappingKeeper keeper(settings, gateway.Network());
  keeper.Start();
  keeper.Stop();
  EXPECT_TRUE(gateway.searches().empty());
  EXPECT_TRUE(gateway.requests().empty());
}

}  // namespace
