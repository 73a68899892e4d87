// The server binary's peak memory while it reads a ZIP member that inflates from a small
// compressed size to just under the member limit: several image pages beside it (each would
// read its neighbours ahead) and /image requests of it at once, with another client answered
// meanwhile.
#include <signal.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/run_command.h"
#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/catalogue/read_limits.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
// Just under the member limit.
constexpr uint64_t kBombBytes = kMaxMemberBytes - kMiB;
// Clients asking for the large member itself at once.
constexpr int kImageClients = 2;
// The bound on the server's peak resident memory. The one read of the member is shared by all
// who ask for it, and its /image answers send that same buffer, so the member is held once;
// 128 MiB is left for everything else the server holds, so a second copy anywhere would pass
// the bound.
constexpr uint64_t kPeakBound = kBombBytes + 128 * kMiB;

// Writes an archive of four small pictures and, between them in name order, the large member
// (GIFs, which the image page reads ahead on the server; JPEGs go out in renditions instead):
// zeros with a few bytes of noise every 64 KiB, so it deflates to well under a megabyte but
// not beyond the ratio the reader accepts.
bool WriteArchive(const std::string& path) {
  const std::string script =
      "import sys, zipfile, random\n"
      "r = random.Random(7)\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    for name in ('a.gif', 'b.gif', 'd.gif', 'e.gif'):\n"
      "        z.writestr(name, bytes(r.getrandbits(8) for _ in range(2000)))\n"
      "    block = bytearray(65536)\n"
      "    with z.open('c_large.gif', 'w', force_zip64=False) as m:\n"
      "        left = int(sys.argv[2])\n"
      "        while left > 0:\n"
      "            block[0:16] = bytes(r.getrandbits(8) for _ in range(16))\n"
      "            m.write(block[:min(left, len(block))])\n"
      "            left -= len(block)\n";
  std::string output;
  return platform::RunCommand({"python3", "-c", script, path, std::to_string(kBombBytes)},
                              &output) == 0;
}

// The status line and size of a whole answer to a GET; the body is counted, not kept.
struct Answer {
  std::string status;
  uint64_t bytes = 0;
};
Answer Fetch(int port, const std::string& target) {
  Answer answer;
  int client = ConnectLoopback(port);
  if (client < 0 || !SendAll(client, "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n")) {
    CloseClient(client);
    return answer;
  }
  std::string head;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t n = recv(client, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    if (head.size() < 64) head.append(buffer.data(), std::min<size_t>(n, 64));
    answer.bytes += static_cast<uint64_t>(n);
  }
  CloseClient(client);
  answer.status = head.substr(0, head.find("\r\n"));
  return answer;
}

TEST(PictureReadsMemoryTest, LargeMemberWithPagesAroundItStaysWithinTheBound) {
  TestFolder folder;
  std::filesystem::create_directories(folder.Path("pictures"));
  std::filesystem::create_directories(folder.Path("units"));
  ASSERT_TRUE(WriteArchive(folder.Path("pictures/album.zip")));
  ASSERT_LT(std::filesystem::file_size(folder.Path("pictures/album.zip")), 4 * kMiB);
  const std::string config = folder.Write(
      "gallery.con", "<PATH>" + folder.Path("pictures") + "</PATH>\r\n<PORT>0</PORT>\r\n");
  ChildProcess server({LUMENVALE_BINARY, config}, ConsoleEnvironment(folder.Path("units")));
  const std::string banner = server.ReadLine();
  const int port = BannerPort(banner);
  ASSERT_NE(port, 0) << banner;
  // The first scan runs at start; the small pictures answer once it has ended.
  Answer first;
  for (int i = 0; i < 500 && first.status != "HTTP/1.1 200 OK"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    first = Fetch(port, "/image?page=1-N-0");
  }
  ASSERT_EQ(first.status, "HTTP/1.1 200 OK");
  const uint64_t before = PeakResidentBytes(server.pid());

  // Name order: a b c_large d e. Each of these pages has the large member among the five
  // pictures it would read ahead.
  std::vector<std::thread> clients;
  std::vector<Answer> pages(4), images(kImageClients);
  for (int i = 0; i < 4; ++i) {
    clients.emplace_back([&, i] {
      pages[i] = Fetch(port, "/individual?page=1-N-" + std::to_string(i < 2 ? i : i + 1));
    });
  }
  for (int i = 0; i < kImageClients; ++i) {
    clients.emplace_back([&, i] { images[i] = Fetch(port, "/image?page=1-N-2"); });
  }
  // Another client meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const Answer other = Fetch(port, "/image?page=1-N-4");
  for (std::thread& client : clients) client.join();

  EXPECT_EQ(other.status, "HTTP/1.1 200 OK");
  for (const Answer& page : pages) EXPECT_EQ(page.status, "HTTP/1.1 200 OK");
  for (const Answer& image : images) {
    EXPECT_EQ(image.status, "HTTP/1.1 200 OK");
    EXPECT_GT(image.bytes, kBombBytes);
  }
  const uint64_t peak = PeakResidentBytes(server.pid());
  std::printf("large member: peak RSS %.0f MiB (%.0f MiB before), bound %.0f MiB\n",
              static_cast<double>(peak) / kMiB, static_cast<double>(before) / kMiB,
              static_cast<double>(kPeakBound) / kMiB);
  RecordProperty("peak_rss_bytes", std::to_string(peak));
  if (kResidentMemoryIsMeaningful) {
    EXPECT_LT(peak, kPeakBound);
  }
  EXPECT_EQ(server.Wait(SIGTERM), 0);
}

}  // namespace
