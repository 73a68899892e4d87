// The real server binary against files that would hurt it: a FIFO in place of a picture, a
// file far larger than the read budget and a like of it, the configuration named as the hash
// list file, login settings in doubt, and, started as root, a link to a file only root may
// read.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/catalogue/read_budget.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kMiB = uint64_t{1} << 20;

// A gallery in a folder of its own, started with the configuration lines a test adds.
class HostileGallery : public testing::Test {
 protected:
  HostileGallery() {
    fs::create_directories(folder_.Path("pictures"));
    fs::create_directories(folder_.Path("units"));
  }

  std::string Picture(const std::string& name) const { return folder_.Path("pictures/" + name); }

  std::string WriteConfig(const std::string& lines) {
    return folder_.Write("gallery.con", GalleryConfig(folder_.Path("pictures"), 0) + lines);
  }

  // Starts the server on `config` and reads its start lines: the banner, then the login
  // line. False when no banner came.
  bool Start(const std::string& config, ChildProcess::Environment env = {}) {
    ChildProcess::Environment all = ConsoleEnvironment(folder_.Path("units"));
    all["XDG_CACHE_HOME"] = folder_.Path("cache");
    for (const auto& [name, value] : env) all[name] = value;
    server_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{LUMENVALE_BINARY, config}, all);
    port_ = BannerPort(server_->ReadLine());
    login_line_ = server_->ReadLine();
    return port_ != 0;
  }

  // The status line of a GET, "" when no answer came.
  std::string Status(const std::string& target) {
    const std::string answer =
        Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return answer.substr(0, answer.find("\r\n"));
  }
  // The whole answer to a GET, waiting as long as hashing a large file may take.
  std::string Answer(const std::string& target, const std::string& headers = "") {
    const int client = ConnectLoopback(port_);
    if (client < 0) return "";
    SendAll(client, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    const std::string answer = ReadUntilClosed(client, 60000);
    CloseClient(client);
    return answer;
  }

  // A like, as the gallery's own script asks for it.
  std::string Vote(const std::string& key) {
    return Answer("/vote?page=" + key, "X-Requested-With: XMLHttpRequest\r\n");
  }

  // Polls `target` until it answers 200 (the first scan has listed it).
  bool WaitFor(const std::string& target) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
      if (Status(target) == "HTTP/1.1 200 OK") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  TestFolder folder_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
  std::string login_line_;
};

// A picture replaced by a FIFO after the scan: more requests of it than there are workers are
// all answered at once, and the other pictures still are.
TEST_F(HostileGallery, FifoPictureIsAnsweredAtOnceAndWorkersStayFree) {
  folder_.Write("pictures/a.jpg", "the content of a");
  folder_.Write("pictures/b.jpg", "the content of b");
  ASSERT_TRUE(Start(WriteConfig("")));
  ASSERT_TRUE(WaitFor("/image?page=1-N-1"));
  fs::remove(Picture("b.jpg"));
  ASSERT_EQ(mkfifo(Picture("b.jpg").c_str(), 0644), 0);

  const auto start = Clock::now();
  std::vector<std::string> answers(12);
  std::vector<std::thread> clients;
  for (size_t i = 0; i < answers.size(); ++i) {
    clients.emplace_back([&, i] {
      answers[i] = Status(i % 2 == 0 ? "/image?page=1-N-1" : "/individual?page=1-N-1");
    });
  }
  for (std::thread& client : clients) client.join();
  for (size_t i = 0; i < answers.size(); i += 2) EXPECT_EQ(answers[i], "HTTP/1.1 404 Not Found");
  for (size_t i = 1; i < answers.size(); i += 2) EXPECT_NE(answers[i], "") << i;
  EXPECT_EQ(Status("/image?page=1-N-0"), "HTTP/1.1 200 OK");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

// A 900 MB file (sparse) beside a small picture: neither the work ahead nor a like of it
// reads it whole, so the server's peak memory stays far below the file and the read budget.
TEST_F(HostileGallery, HugeFileAndItsLikeStayWithinTheReadBudget) {
  if (!kResidentMemoryIsMeaningful) GTEST_SKIP() << "resident memory means nothing here";
  constexpr uint64_t kHugeBytes = 900 * kMiB;
  folder_.Write("pictures/a.jpg", "the content of a");
  folder_.Write("pictures/huge.jpg", "");
  fs::resize_file(Picture("huge.jpg"), kHugeBytes);
  ASSERT_TRUE(
      Start(WriteConfig("<HASH_FILE_NAME>" + folder_.Path("hash.dat") + "</HASH_FILE_NAME>\r\n")));
  ASSERT_TRUE(WaitFor("/image?page=1-N-0"));
  // The work ahead has had its turn at both pictures.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_NE(Vote("1-N-1").find("\"viewNum\":\"0\""), std::string::npos);
  EXPECT_NE(Vote("1-N-1").find("\"viewNum\":\"1\""), std::string::npos);
  const uint64_t peak = PeakResidentBytes(server_->pid());
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, 160 * kMiB) << "peak resident memory " << peak / kMiB << " MiB";
  EXPECT_LT(peak, ReadBudget::kReadBytesInFlight);
}

// HASH_FILE_NAME naming the configuration itself: likes count, the file keeps its bytes and
// the next start serves its folder again.
TEST_F(HostileGallery, HashListNamedAsTheConfigurationIsLeftIntact) {
  folder_.Write("pictures/a.jpg", "the content of a");
  const std::string config = folder_.Path("gallery.con");
  const std::string text = GalleryConfig(folder_.Path("pictures"), 0) + "<HASH_FILE_NAME>" +
                           config + "</HASH_FILE_NAME>\r\n";
  folder_.Write("gallery.con", text);
  ASSERT_TRUE(Start(config));
  ASSERT_TRUE(WaitFor("/image?page=1-N-0"));
  EXPECT_NE(Vote("1-N-0").find("\"viewNum\":\"0\""), std::string::npos);
  EXPECT_NE(Vote("1-N-0").find("\"viewNum\":\"1\""), std::string::npos);
  EXPECT_NE(Answer("/info").find("holds no like record, so it is left alone"), std::string::npos);
  EXPECT_EQ(server_->Wait(SIGTERM), 0);
  EXPECT_NE(server_->ReadErrors().find("holds no like record"), std::string::npos);
  EXPECT_EQ(folder_.Read("gallery.con"), text);
  ASSERT_TRUE(Start(config));
  EXPECT_TRUE(WaitFor("/image?page=1-N-0"));
}

// NEED_USER in doubt with a user in the file: the server asks for credentials, and its start
// lines say that login is on.
TEST_F(HostileGallery, LoginInDoubtIsOn) {
  folder_.Write("pictures/a.jpg", "the content of a");
  const std::string user =
      "<USER><USER_NAME>anna</USER_NAME><HASH>8ed71e3b1b55bd201503210718a52d84</HASH>"
      "<PRIV>1</PRIV></USER>\r\n";
  for (const char* need_user : {"<NEED_USER>yes</NEED_USER>\r\n", "<need_user>1</need_user>\r\n"}) {
    SCOPED_TRACE(need_user);
    ASSERT_TRUE(Start(WriteConfig(need_user + user)));
    EXPECT_EQ(login_line_,
              "Login is on: every request needs the name and password of the one user.\n");
    EXPECT_EQ(Status("/"), "HTTP/1.1 401 OK");
    EXPECT_EQ(server_->Wait(SIGTERM), 0);
    EXPECT_NE(server_->ReadErrors().find("since the file names users, login is on"),
              std::string::npos);
  }
}

// The fields of /proc/PID/status that say who a process is and what it may do.
std::map<std::string, std::string> ProcessStatus(pid_t pid) {
  std::map<std::string, std::string> fields;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t value = line.find_first_not_of(" \t", colon + 1);
    fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  return fields;
}

// Started as root, the server serves as the configuration's owner, a named user or nobody:
// a link in the picture folder to a file only root may read is not served, the pictures
// are, and the process holds no capability and cannot gain one.
TEST_F(HostileGallery, StartedAsRootServesAsAnUnprivilegedUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string secret = folder_.Write("secret", "only root reads this");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  folder_.Write("pictures/a.jpg", "the content of a");
  fs::create_symlink(secret, Picture("shadow.jpg"));
  const std::string config = WriteConfig("<HASH_FILE_NAME></HASH_FILE_NAME>\r\n");
  const passwd* account = getpwnam("nobody");
  ASSERT_NE(account, nullptr);
  const passwd nobody = *account;  // getpwnam's storage is its own, reused by the next call
  account = getpwnam("daemon");
  ASSERT_NE(account, nullptr);
  const passwd daemon = *account;
  const std::string daemon_home = daemon.pw_dir;
  struct Case {
    const char* what;
    uint32_t config_owner;
    std::optional<std::string> named;  // LUMENVALE_USER
    uint32_t uid, gid;
  };
  const Case cases[] = {
      {"root's file", 0, std::nullopt, nobody.pw_uid, nobody.pw_gid},
      {"a file of an id without account", 4242, std::nullopt, 4242, 4343},
      {"a named user", 4242, "daemon", daemon.pw_uid, daemon.pw_gid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chown(config.c_str(), c.config_owner, c.config_owner == 0 ? 0 : 4343), 0);
    ChildProcess::Environment env = {{"LUMENVALE_USER", c.named}};
    // The named user's cache is looked for in its own home.
    if (c.named) env["XDG_CACHE_HOME"] = std::nullopt;
    ASSERT_TRUE(Start(config, env));
    ASSERT_TRUE(WaitFor("/image?page=1-N-0"));
    EXPECT_EQ(Status("/image?page=1-N-1"), "HTTP/1.1 404 Not Found");
    std::map<std::string, std::string> status = ProcessStatus(server_->pid());
    const std::string uid = std::to_string(c.uid), gid = std::to_string(c.gid);
    EXPECT_EQ(status["Uid"], uid + "\t" + uid + "\t" + uid + "\t" + uid);
    EXPECT_EQ(status["Gid"], gid + "\t" + gid + "\t" + gid + "\t" + gid);
    for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"}) {
      EXPECT_EQ(status[set], "0000000000000000") << set;
    }
    EXPECT_EQ(status["NoNewPrivs"], "1");
    // Groups: the account's, none for an id without one.
    if (c.config_owner == 4242 && !c.named) {
      EXPECT_EQ(status["Groups"], "");
    }
    EXPECT_EQ(server_->Wait(SIGTERM), 0);
    const std::string errors = server_->ReadErrors();
    EXPECT_NE(errors.find("Started as root: serving as "), std::string::npos);
    if (c.named) {
      EXPECT_NE(errors.find("Thumbnail folder " + daemon_home + "/.cache/lumenvale/thumbnails"),
                std::string::npos)
          << errors;
    }
  }
  ASSERT_TRUE(Start(config, {{"LUMENVALE_USER", "no-such-user-here"}}) == false);
  EXPECT_EQ(server_->Wait(0), 1);
  EXPECT_NE(server_->ReadErrors().find("There is no user no-such-user-here to serve as."),
            std::string::npos);
}

}  // namespace
