#include "platform/local_address.h"

#include <gtest/gtest.h>

namespace {

TEST(LocalAddressTest, DottedAndLoopback) {
  struct Case {
    const char* text;
    bool dotted;
    bool loopback;
  } cases[] = {
      {"10.77.0.2", true, false}, {"127.0.1.1", true, true},   {"127.255.0.9", true, true},
      {"128.0.0.1", true, false}, {"1.2.3", false, false},     {"1.2.3.256", false, false},
      {" 1.2.3.4", false, false}, {"1.2.3.4\n", false, false}, {"localhost", false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::IsDottedIPv4(c.text), c.dotted) << c.text;
    EXPECT_EQ(platform::IsLoopbackIPv4(c.text), c.loopback) << c.text;
  }
}

TEST(LocalAddressTest, SourceAddressTowardAPeer) {
  EXPECT_EQ(platform::SourceAddressFor("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(platform::SourceAddressFor("gateway.local"), "");
}

}  // namespace
