// Starts the real server binary on a temporary gallery and talks HTTP to it on 127.0.0.1.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/test_folder.h"
#include "server/app/server_process.h"
#include "server/net/loopback_test_util.h"

namespace {

TEST(LumenvaleBinaryTest, StartsAnnouncesServesAndStopsCleanly) {
  TestFolder folder;
  std::string pictures = folder.Path("pictures");
  std::string config =
      folder.Write("gallery.con", "<PATH>" + pictures + "</PATH>\r\n<PORT>0</PORT>\r\n");
  ServerProcess server(config);
  std::string banner = server.ReadLine();
  std::smatch match;
  ASSERT_TRUE(std::regex_search(banner, match,
                                std::regex("^Lumenvale is serving http://localhost:(\\d+)/ from "
                                           "(.*) \\(missing\\)\n$")))
      << banner;
  EXPECT_EQ(match[2], pictures);
  int port = std::stoi(match[1]);
  std::string response = Exchange(port, "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(response.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  EXPECT_EQ(server.Terminate(), 0);
}

}  // namespace
