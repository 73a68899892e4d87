#include "server/app/lumenvale_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/testing/test_eventually.h"
#include "platform/testing/test_folder.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/testing/test_pictures.h"
#include "server/upnp/testing/fake_gateway.h"

namespace {

// Keeps the thumbnail store of the servers this test makes in the test's folder, never in
// the user's own cache, and puts the old value back.
class CacheHome {
 public:
  explicit CacheHome(const std::string& folder) {
    if (const char* old = ::getenv("XDG_CACHE_HOME")) old_ = old;
    had_ = ::getenv("XDG_CACHE_HOME") != nullptr;
    ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
  }
  ~CacheHome() {
    if (had_) {
      ::setenv("XDG_CACHE_HOME", old_.c_str(), 1);
    } else {
      ::unsetenv("XDG_CACHE_HOME");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

// The server is stopped and destroyed while a worker is reducing a large picture (for the
// work ahead, and for a client who asked for its thumbnail). Everything the job uses must
// outlive it: under AddressSanitizer a job that ran on into freed memory is reported.
TEST(LumenvaleServerTest, StopWhileALargeThumbnailIsBeingMade) {
  TestFolder folder;
  CacheHome cache_home(folder.Path("cache"));
  // A PNG is decoded whole at full size, so one just within the bound for that takes a
  // while to reduce.
  constexpr int kWidth = 3300, kHeight = 2500;
  static_assert(int64_t{kWidth} * kHeight <= kMaxFullDecodePixels);
  const std::vector<uint8_t> png = PngFile(QuadrantPicture(
      kWidth, kHeight, 3,
      {Rgba{200, 40, 40, 255}, {40, 200, 40, 255}, {40, 40, 200, 255}, {240, 240, 240, 255}}));
  std::filesystem::create_directory(folder.Path("pictures"));
  folder.Write("pictures/large.png", std::string(png.begin(), png.end()));
  ServerSettings settings;
  settings.folders = {folder.Path("pictures")};
  settings.port = 0;
  settings.hash_file_name = folder.Path("hash.dat");

  std::atomic<int> port{0};
  std::atomic<bool> listed{false}, stop{false};
  // Start, the turns and Stop on one thread, as the program's loop runs them.
  std::thread loop([&] {
    auto server = std::make_unique<LumenvaleServer>(settings, nullptr);
    if (!server->Start()) {
      port = -1;
      return;
    }
    port = server->ListeningPort();
    while (!stop.load()) {
      server->Step();
      if (!server->catalogue().CurrentList()->empty()) listed = true;
    }
    server->Stop();
    server.reset();
  });
  // Stopped and joined however the test ends.
  std::shared_ptr<void> join(nullptr, [&](void*) {
    stop = true;
    loop.join();
  });
  ASSERT_TRUE(Eventually([&] { return port.load() != 0; }));
  ASSERT_GT(port.load(), 0);
  ASSERT_TRUE(Eventually([&] { return listed.load(); }));
  const int client = ConnectLoopback(port.load());
  ASSERT_TRUE(SendAll(client, "GET /image?page=1-N-0&shrink=1 HTTP/1.1\r\n\r\n"));
  // The store's folder is made just before the first job of the work ahead is posted.
  EXPECT_TRUE(Eventually(
      [&] { return std::filesystem::is_directory(folder.Path("cache/lumenvale/thumbnails")); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  join.reset();
  CloseClient(client);
}

// A gateway that makes the mapping and then stalls every exchange: the pages, the status
// page among them, are answered in their usual time while the mapping thread waits.
TEST(LumenvaleServerTest, StalledGatewayDelaysNeitherViewNorInfo) {
  TestFolder folder;
  CacheHome cache_home(folder.Path("cache"));
  std::filesystem::create_directory(folder.Path("pictures"));
  folder.Write("pictures/a.gif", "GIF89a");
  FakeGateway::Behaviour stalling;
  stalling.answer_after_mapping = false;
  FakeGateway gateway(stalling);
  ServerSettings settings;
  settings.folders = {folder.Path("pictures")};
  settings.port = 0;
  settings.hash_file_name = "";
  settings.upnp = 1;
  settings.upnp_port = FreeUdpPort();

  std::atomic<int> port{0};
  std::atomic<bool> stop{false};
  std::thread loop([&] {
    LumenvaleServer server(settings, nullptr, gateway.Network(200, 5000));
    if (!server.Start()) {
      port = -1;
      return;
    }
    port = server.ListeningPort();
    while (!stop.load()) server.Step();
    server.Stop();
  });
  std::shared_ptr<void> join(nullptr, [&](void*) {
    stop = true;
    loop.join();
  });
  ASSERT_TRUE(Eventually([&] { return port.load() != 0; }));
  ASSERT_GT(port.load(), 0);
  // The mapping is made; from here every exchange with the gateway stalls for 5 s.
  ASSERT_TRUE(Eventually([&] {
    for (const std::string& request : gateway.requests()) {
      if (request.find("#AddPortMapping\"") != std::string::npos) return true;
    }
    return false;
  }));
  for (const char* target : {"/view", "/info", "/view", "/info"}) {
    const auto start = std::chrono::steady_clock::now();
    const std::string answer =
        Exchange(port.load(), std::string("GET ") + target +
                                  " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << target;
    EXPECT_FALSE(answer.empty()) << target;
  }
  const std::string info = Exchange(port.load(), "GET /info HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(info.find("UPnP stage:2,"), std::string::npos);
}

}  // namespace
