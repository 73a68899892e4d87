// The real server binary against hostile clients on loopback, the attackers on 127.0.0.1 (or
// a range of 127.0.x.y addresses), the well-behaved clients on 127.0.0.2: refused bodies that
// are never read, bodies held back by a full table of connections, and requests whose
// parameters would make every link of a page long.
#include <signal.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/run_command.h"
#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

constexpr const char* kProbeAddress = "127.0.0.2";
// Generous for "at once": the machine running the tests may be busy with other work.
constexpr int64_t kAtOnceMs = 1000;

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

std::string StatusLine(const std::string& response) {
  return response.substr(0, response.find("\r\n"));
}

// What a client program prints, standard output and error together.
std::string Client(const std::vector<std::string>& argv) {
  std::string output;
  platform::RunCommand(argv, &output);
  return output;
}

// A ZIP archive of `count` one-byte members named p<index>.jpg, stored: enough for the gallery
// to list them as pictures, without a file for each.
std::string EmptyMembersZip(int first, int count) {
  auto le = [](std::string* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i) & 0xFF));
  };
  std::string local, central;
  for (int i = first; i < first + count; ++i) {
    char name[16];
    const int name_size = std::snprintf(name, sizeof name, "p%06d.jpg", i);
    const size_t offset = local.size();
    for (std::string* out : {&local, &central}) {
      le(out, out == &local ? 0x04034b50 : 0x02014b50, 4);
      if (out == &central) le(out, 20, 2);  // made by
      le(out, 20, 2);                       // needed
      le(out, 0, 2);                        // flags
      le(out, 0, 2);                        // stored
      le(out, 0, 2);                        // time
      le(out, 0x21, 2);                     // 1980-01-01
      le(out, 0x8CDC1683, 4);               // CRC of "x"
      le(out, 1, 4);
      le(out, 1, 4);
      le(out, static_cast<uint64_t>(name_size), 2);
      le(out, 0, 2);   // extra
      if (out == &central) {
        le(out, 0, 2);  // comment
        le(out, 0, 2);  // disk
        le(out, 0, 2);  // internal attributes
        le(out, 0, 4);  // external attributes
        le(out, offset, 4);
      }
      out->append(name, static_cast<size_t>(name_size));
    }
    local.push_back('x');
  }
  std::string zip = local + central;
  le(&zip, 0x06054b50, 4);
  le(&zip, 0, 2);
  le(&zip, 0, 2);
  le(&zip, static_cast<uint64_t>(count), 2);
  le(&zip, static_cast<uint64_t>(count), 2);
  le(&zip, central.size(), 4);
  le(&zip, local.size(), 4);
  le(&zip, 0, 2);
  return zip;
}

class HostileClientsTest : public ::testing::Test {
 protected:
  // Starts the server in console mode on the picture folder with `extra` configuration
  // elements.
  void Start(const std::string& extra = "") {
    pictures_ = folder_.Path("pictures");
    for (const char* folder : {"pictures", "sent", "units"}) {
      std::filesystem::create_directories(folder_.Path(folder));
    }
    const std::string config = folder_.Write(
        "gallery.con", "<PATH>" + pictures_ + "</PATH>\r\n<PORT>0</PORT>\r\n<SUB>1</SUB>\r\n" +
                           "<HASH_FILE_NAME></HASH_FILE_NAME>\r\n" + extra);
    ChildProcess::Environment env = ConsoleEnvironment(folder_.Path("units"));
    env["XDG_CACHE_HOME"] = folder_.Path("cache");
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{LUMENVALE_BINARY, config},
                                             env);
    const std::string banner = server_->ReadLine();
    port_ = BannerPort(banner);
    ASSERT_NE(port_, 0) << banner;
    base_ = "http://127.0.0.1:" + std::to_string(port_) + "/";
  }

  void TearDown() override {
    if (server_ != nullptr) {
      EXPECT_EQ(server_->Wait(SIGTERM), 0);
    }
  }

  // A 20 MB JPEG-looking file uploaded by curl from the probe address (with `auth`: curl's
  // Digest options); curl's output, the server's JSON answer.
  std::string Upload(const std::vector<std::string>& auth = {}) {
    std::string bytes = PseudoRandomBytes(20'000'000, 5);
    bytes.replace(0, 3, "\xFF\xD8\xFF");
    const std::string path = folder_.Write("sent/big.jpg", bytes);
    std::vector<std::string> argv = {"curl", "-s", "--max-time", "60", "--interface",
                                     kProbeAddress};
    argv.insert(argv.end(), auth.begin(), auth.end());
    argv.insert(argv.end(), {"-F", "userfile=@" + path + ";type=image/jpeg", base_ + "upload.php"});
    return Client(argv);
  }

  TestFolder folder_;
  std::string pictures_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
  std::string base_;
};

// With login on, anonymous posts announcing bodies of nearly 512 MiB are refused from their
// header blocks: each 401 comes at once, none of them takes room from a user's upload, and
// none of their bodies is held.
TEST_F(HostileClientsTest, AnonymousHugeBodiesAreRefusedAtOnceWhileAUserUploads) {
  // anna:secret:pw
  Start("<NEED_USER>1</NEED_USER>\r\n<USER><USER_NAME>anna</USER_NAME><HASH>" +
        std::string("2862c725d509b4512594ab9fe40c283c") + "</HASH><PRIV>1</PRIV></USER>\r\n");
  const std::string huge = std::to_string(512u * 1024 * 1024 - 4096);
  auto start = std::chrono::steady_clock::now();
  int page_post = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(page_post, "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: " + huge +
                                     "\r\n\r\n" + std::string(1 << 20, 'b')));
  bool closed = false;
  EXPECT_EQ(StatusLine(ReadUntilClosed(page_post, 5000, &closed)), "HTTP/1.1 401 OK");
  EXPECT_TRUE(closed);
  EXPECT_LT(MsSince(start), kAtOnceMs);
  CloseClient(page_post);

  // 120 anonymous upload posts that trickle their bodies stay refused, not waiting.
  std::vector<int> uploads;
  for (int i = 0; i < 120; ++i) {
    const std::string source = "127.0.3." + std::to_string(1 + i / 60);
    uploads.push_back(ConnectLoopbackFrom(source.c_str(), port_));
    ASSERT_TRUE(SendAll(uploads.back(),
                        "POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
                        "boundary=b\r\nContent-Length: " +
                            huge + "\r\n\r\n--b"));
  }
  int refused = 0;
  for (int client : uploads) {
    refused += StatusLine(ReadUntilClosed(client, 5000)) == "HTTP/1.1 401 OK";
    CloseClient(client);
  }
  EXPECT_EQ(refused, 120);
  const std::string answer = Upload({"--digest", "-u", "anna:pw"});
  EXPECT_EQ(answer.substr(0, 20), "{\"state\":\"success\",\"") << answer;
  if (kResidentMemoryIsMeaningful) EXPECT_LT(PeakResidentBytes(server_->pid()), 256ull << 20);
}

// 1 030 connections from many addresses send a whole upload header and hold back its 10-byte
// body: the table is full of them, yet a 20 MB upload that keeps sending finishes, and they
// are the ones that give way.
TEST_F(HostileClientsTest, HeldBackBodiesDoNotStopARunningUpload) {
  Start();
  std::vector<int> held;
  for (int i = 0; i < 1030; ++i) {
    const std::string source = "127.0.2." + std::to_string(1 + i / 64);
    int client = ConnectLoopbackFrom(source.c_str(), port_);
    ASSERT_GE(client, 0) << i;
    SendAll(client,
            "POST /upload.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
            "boundary=b\r\nContent-Length: 10\r\n\r\n");
    held.push_back(client);
  }
  auto start = std::chrono::steady_clock::now();
  const std::string answer = Upload();
  std::printf("a 20 MB upload beside 1030 held bodies: %lld ms\n",
              static_cast<long long>(MsSince(start)));
  EXPECT_EQ(answer.substr(0, 20), "{\"state\":\"success\",\"") << answer;
  EXPECT_EQ(folder_.Read("pictures/big.jpg").size(), 20'000'000u);
  for (int client : held) CloseClient(client);
}

// On a gallery of 2 000 thumbnail pages, a target of 60 KB is refused at once, one just under
// the limit whose parameter no page reads gets a page of the usual size, and a client beside
// them is answered in its usual time.
TEST_F(HostileClientsTest, LongParametersMakeNoLongPages) {
  std::filesystem::create_directories(folder_.Path("pictures"));
  for (int part = 0; part < 4; ++part) {
    folder_.Write("pictures/part" + std::to_string(part) + ".zip",
                  EmptyMembersZip(part * 50'000, 50'000));
  }
  Start();
  const std::string view = "GET /view?page=T-1-N-1000";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string usual;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    usual = ExchangeFrom(kProbeAddress, port_, view + " HTTP/1.1\r\nHost: x\r\n\r\n");
  } while (usual.find(">1999</a>") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline);
  ASSERT_NE(usual.find(">1999</a>"), std::string::npos) << usual.substr(0, 300);

  std::vector<std::thread> attackers;
  std::vector<std::string> answers(8);
  for (size_t i = 0; i < answers.size(); ++i) {
    attackers.emplace_back([&, i] {
      const std::string junk = i % 2 == 0 ? std::string(60'000, 'j') : std::string(8000, 'j');
      answers[i] = Exchange(port_, view + "&junk=" + junk + " HTTP/1.1\r\nHost: x\r\n\r\n");
    });
  }
  auto start = std::chrono::steady_clock::now();
  const std::string probe = ExchangeFrom(kProbeAddress, port_, "GET /view?page=T-1-N-0 HTTP/1.1\r\n\r\n");
  const int64_t probe_ms = MsSince(start);
  for (std::thread& attacker : attackers) attacker.join();
  EXPECT_EQ(StatusLine(probe), "HTTP/1.1 200 OK");
  EXPECT_LT(probe_ms, kAtOnceMs);
  for (size_t i = 0; i < answers.size(); ++i) {
    if (i % 2 == 0) {
      EXPECT_EQ(StatusLine(answers[i]), "HTTP/1.1 414 URI Too Long");
    } else {
      EXPECT_EQ(StatusLine(answers[i]), "HTTP/1.1 200 OK");
      EXPECT_LT(answers[i].size(), usual.size() + 1000);
    }
  }
  std::printf("a 2000-page gallery: page %zu bytes, probe beside long targets %lld ms\n",
              usual.size(), static_cast<long long>(probe_ms));
}

}  // namespace
