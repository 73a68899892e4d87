// The real server binary under clients that ask for a large picture and never read it: one
// address holds only its share of the connections, the answers hold no copy of the picture
// each, so the server's peak memory stays bounded and other clients are still answered at once.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

constexpr size_t kPictureBytes = 9'500'000;
// From 127.0.0.1, past its share; then more from three other addresses, within theirs.
constexpr int kSlowReaders = 1100;
constexpr int kSpreadReaders = 192;
constexpr uint64_t kPeakBound = 512ull << 20;
// Locked out, the probe would wait for a stall time-out (a minute); the bound leaves room for a
// machine loaded by other tests.
constexpr int64_t kProbeBoundMs = 5000;

std::string Body(const std::string& response) {
  size_t blank = response.find("\r\n\r\n");
  return blank == std::string::npos ? "" : response.substr(blank + 4);
}

TEST(SlowReadersTest, ClientsThatNeverReadAPictureLeaveMemoryBoundedAndOthersServed) {
  TestFolder folder;
  std::filesystem::create_directories(folder.Path("pictures"));
  std::filesystem::create_directories(folder.Path("units"));
  // /image sends a picture as stored, so its bytes need not decode.
  const std::string picture = PseudoRandomBytes(kPictureBytes, 11);
  folder.Write("pictures/photo.jpg", picture);
  const std::string config = folder.Write(
      "gallery.con", "<PATH>" + folder.Path("pictures") + "</PATH>\r\n<PORT>0</PORT>\r\n");
  ChildProcess::Environment env = ConsoleEnvironment(folder.Path("units"));
  env["XDG_CACHE_HOME"] = folder.Path("cache");
  ChildProcess server({LUMENVALE_BINARY, config}, env);
  const std::string banner = server.ReadLine();
  const int port = BannerPort(banner);
  ASSERT_NE(port, 0) << banner;
  const std::string request = "GET /image?page=1-N-0 HTTP/1.1\r\nHost: x\r\n\r\n";
  // The first scan lists the picture shortly after the start.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Body(Exchange(port, request)) != picture && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(Body(Exchange(port, request)) == picture);

  std::vector<int> readers;
  for (int i = 0; i < kSlowReaders + kSpreadReaders; ++i) {
    const std::string source =
        i < kSlowReaders ? "127.0.0.1" : "127.0.4." + std::to_string(1 + (i - kSlowReaders) / 64);
    readers.push_back(ConnectLoopbackFrom(source.c_str(), port, 4096));
    ASSERT_GE(readers.back(), 0);
    // Past its address's share a connection is closed at once, perhaps before this.
    SendAll(readers.back(), request);
  }
  // Jobs run in the order posted, so this answer comes after the others were made.
  auto start = std::chrono::steady_clock::now();
  const std::string probe = ExchangeFrom("127.0.0.2", port, request);
  auto probe_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_TRUE(Body(probe) == picture);
  EXPECT_LT(probe_ms, kProbeBoundMs);
  const uint64_t peak = PeakResidentBytes(server.pid());
  std::printf("%d clients that never read a %zu-byte picture: peak RSS %.1f MB, probe %lld ms\n",
              kSlowReaders + kSpreadReaders, kPictureBytes, static_cast<double>(peak) / 1e6,
              static_cast<long long>(probe_ms));
  if (kResidentMemoryIsMeaningful) {
    EXPECT_LT(peak, kPeakBound);
  }
  // The readers that do read at last get the whole picture.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Body(ReadUntilClosed(readers[i])) == picture);
  for (int reader : readers) CloseClient(reader);
  EXPECT_EQ(server.Wait(SIGTERM), 0);
}

}  // namespace
