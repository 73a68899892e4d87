#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(TcpSocketTest, ConnectTakesNumericAddressesAndPortsOnly) {
  for (const char* port : {"0", "65536", "70000", "12a", "", "-1", "123456"}) {
    int error = 0;
    EXPECT_EQ(platform::ConnectTcp("127.0.0.1", port, &error), platform::kInvalidSocket) << port;
    EXPECT_EQ(error, EINVAL) << port;
  }
  int error = 0;
  EXPECT_EQ(platform::ConnectTcp("localhost", "80", &error), platform::kInvalidSocket);
}

TEST(TcpSocketTest, ConnectReachesAListener) {
  platform::SocketHandle listener = platform::ListenTcp("0", 1);
  ASSERT_NE(listener, platform::kInvalidSocket);
  int error = 0;
  platform::SocketHandle client =
      platform::ConnectTcp("127.0.0.1", std::to_string(platform::LocalPort(listener)), &error);
  ASSERT_NE(client, platform::kInvalidSocket) << error;
  std::vector<platform::ReadinessWatch> watch = {{client, true}};
  EXPECT_EQ(platform::WaitReady(&watch, 2000000), 1);
  EXPECT_EQ(platform::ConnectResult(client), 0);
  platform::CloseSocket(client);
  platform::CloseSocket(listener);
}

}  // namespace
