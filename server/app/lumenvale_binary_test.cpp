// Starts the real server binary on a temporary gallery and talks HTTP to it on 127.0.0.1.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_folder.h"
#include "server/catalogue/file_content_hash.h"
#include "server/catalogue/hash_list.h"
#include "server/net/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

// The server as a child process whose standard output is a pipe.
class ServerProcess {
 public:
  explicit ServerProcess(const std::string& config) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      execl(LUMENVALE_BINARY, LUMENVALE_BINARY, config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
  }
  ~ServerProcess() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) fclose(out_);
  }
  std::string ReadLine() {
    char line[4096];
    return out_ != nullptr && fgets(line, sizeof line, out_) != nullptr ? line : "";
  }
  // Sends SIGTERM and returns the exit status.
  int Terminate() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  bool waited_ = false;
};

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

// A gallery of two pictures served with its own hash list file, started and stopped as often
// as a test likes.
class LikesAcrossRuns : public testing::Test {
 protected:
  LikesAcrossRuns() {
    std::filesystem::create_directory(folder_.Path("pictures"));
    folder_.Write("pictures/a.jpg", "the content of a");
    folder_.Write("pictures/b.jpg", "the content of b, longer");
    config_ = folder_.Write("gallery.con", "<PATH>" + folder_.Path("pictures") +
                                               "</PATH>\r\n<PORT>0</PORT>\r\n<HASH_FILE_NAME>" +
                                               HashFile() + "</HASH_FILE_NAME>\r\n");
  }

  std::string HashFile() const { return folder_.Path("hash.dat"); }

  // Starts the server and waits until its first scan has listed both pictures.
  void Start() {
    server_ = std::make_unique<ServerProcess>(config_);
    std::smatch match;
    const std::string banner = server_->ReadLine();
    ASSERT_TRUE(std::regex_search(banner, match, std::regex("localhost:(\\d+)/"))) << banner;
    port_ = std::stoi(match[1]);
    ASSERT_TRUE(WaitFor("/image?page=1-N-1"));
  }

  // Polls `target` until it answers 200.
  bool WaitFor(const std::string& target) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Get(target).starts_with("HTTP/1.1 200 OK\r\n")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string Get(const std::string& target) {
    return Exchange(port_, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  }

  // The viewNum of a successful vote, -1 for any other answer.
  int Vote(const std::string& key) {
    std::smatch match;
    const std::string response = Get("/vote?page=" + key);
    if (!std::regex_search(response, match, std::regex("\"viewNum\":\"(\\d+)\""))) return -1;
    return std::stoi(match[1]);
  }

  // What the hash list file holds now.
  HashList SavedLikes() const {
    HashList list;
    ParseHashList(folder_.Read("hash.dat"), &list);
    return list;
  }

  std::string Hash(const std::string& name) const {
    return FileContentHash(folder_.Path("pictures/" + name));
  }

  TestFolder folder_;
  std::string config_;
  std::unique_ptr<ServerProcess> server_;
  int port_ = 0;
};

TEST_F(LikesAcrossRuns, ACleanStopKeepsEveryLikeAndARenamedFileKeepsItsPlace) {
  Start();
  EXPECT_EQ(Vote("1-N-1"), 0);  // b.jpg
  EXPECT_EQ(Vote("1-N-0"), 0);  // a.jpg
  EXPECT_EQ(Vote("1-N-0"), 1);
  EXPECT_EQ(Vote("1-N-0"), 2);
  // At once, long before the throttled save would come.
  EXPECT_EQ(server_->Terminate(), 0);
  EXPECT_EQ(SavedLikes().GetCount(Hash("a.jpg")), 2);
  EXPECT_EQ(SavedLikes().GetCount(Hash("b.jpg")), 0);

  std::filesystem::rename(folder_.Path("pictures/a.jpg"), folder_.Path("pictures/z.jpg"));
  Start();
  // The Likes order finds a's content under its new name, most liked first.
  ASSERT_TRUE(WaitFor("/image?page=1-F-1"));
  const std::string first = Get("/image?page=1-F-0");
  EXPECT_EQ(first.substr(first.find("\r\n\r\n") + 4), "the content of a");
  EXPECT_EQ(Vote("1-F-0"), 3);
  EXPECT_EQ(Vote("1-F-1"), 1);
  EXPECT_EQ(server_->Terminate(), 0);
}

// The server is killed while votes arrive and saves happen. The file must parse whole after
// every kill, keep the records it was given, and hold every like answered more than 2 s
// before the kill (saves come at most a second apart).
TEST_F(LikesAcrossRuns, AKilledServerLeavesAWholeFileWithTheLikesItAnswered) {
  // Other contents' records make each save write a few megabytes, so kills land in saves.
  HashList others;
  char hash[33];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(hash, sizeof hash, "%032x", i);
    others.Insert(hash, LikeRecord{i, 1});
  }
  ASSERT_TRUE(SaveHashList(HashFile(), others));

  std::mt19937 random(std::random_device{}());
  for (int run = 0; run < 3; ++run) {
    Start();
    const auto start = std::chrono::steady_clock::now();
    const auto kill_at = start + std::chrono::milliseconds(2100 + random() % 500);
    std::vector<std::pair<std::chrono::steady_clock::time_point, int>> answers;
    while (std::chrono::steady_clock::now() < kill_at) {
      const int count = Vote("1-N-0");
      ASSERT_GE(count, 0);
      answers.emplace_back(std::chrono::steady_clock::now(), count);
    }
    server_.reset();  // SIGKILL
    const auto killed = std::chrono::steady_clock::now();
    int settled = -1;
    for (const auto& [when, count] : answers) {
      if (when < killed - std::chrono::seconds(2)) settled = std::max(settled, count);
    }

    const std::string bytes = folder_.Read("hash.dat");
    ASSERT_TRUE(bytes.ends_with("</HASH_INFO>\r\n")) << "run " << run;
    const HashList saved = SavedLikes();
    EXPECT_EQ(saved.size(), others.size() + 1) << "run " << run;
    EXPECT_GE(saved.GetCount(Hash("a.jpg")), settled) << "run " << run;
    EXPECT_EQ(saved.GetCount("00000000000000000000000000004e1f"), 19999) << "run " << run;
  }
}

}  // namespace
