// Uploads from real clients to the real server binary on 127.0.0.1: curl -F and Python's
// requests (with and without Digest accounts), a 200 MB file while others are served, two
// clients racing for one name, and hostile posts.
#include <signal.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/config/password_hash.h"
#include "platform/random.h"
#include "platform/run_command.h"
#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

namespace {

namespace fs = std::filesystem;

// A post's state, the first member of its JSON answer (which goes on with each file's result).
const std::string kSuccess = "success";
const std::string kRefused = "refused";
const std::string kFailure = "failure";

// The state of a post's JSON answer, or `answer` as it is when it is none.
std::string State(const std::string& answer) {
  std::smatch match;
  if (!std::regex_search(answer, match, std::regex("^\\{\"state\":\"([a-z]+)\""))) return answer;
  return match[1];
}

// `bytes` with the first bytes of a file of that type in place of its own, so it passes the
// type's check.
std::string As(std::string_view start, std::string bytes) {
  bytes.replace(0, std::min(start.size(), bytes.size()), start);
  return bytes;
}
const std::string_view kJpeg = "\xFF\xD8\xFF", kPng = "\x89PNG\r\n\x1A\n", kGif = "GIF89a",
                       kBmp = "BM";

struct FilePart {
  std::string name;
  std::string type;
  std::string body;
};

// A whole multipart post as a browser writes it.
std::string MultipartPost(const std::vector<FilePart>& files, const std::string& extra = "") {
  const std::string boundary = "----LumenvaleTestBoundary7MA4YWxk";
  std::string body;
  for (const FilePart& f : files) {
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"" +
            f.name + "\"\r\nContent-Type: " + f.type + "\r\n\r\n" + f.body + "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return "POST /upload.php HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
         "Content-Type: multipart/form-data; boundary=" + boundary +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A post of `body` as it is, with the boundary "b".
std::string RawPost(const std::string& body) {
  return "POST /upload.php HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The state of the JSON body of a response, or its status line when it has none.
std::string Answer(const std::string& response) {
  size_t blank = response.find("\r\n\r\n");
  if (blank == std::string::npos) return "(no answer) " + response;
  std::string body = response.substr(blank + 4);
  return body.empty() ? response.substr(0, response.find("\r\n")) : State(body);
}

// What a client program prints, standard output and error together.
std::string Client(const std::vector<std::string>& argv) {
  std::string output;
  platform::RunCommand(argv, &output);
  return output;
}

// The -F argument of curl that sends the file at `path` as the field userfile.
std::string CurlFile(const std::string& path, const std::string& type) {
  return "userfile=@" + path + ";type=" + type;
}

class UploadClientsTest : public ::testing::Test {
 protected:
  // Starts the server in console mode on an empty picture folder with `extra` configuration
  // elements.
  void Start(const std::string& extra = "") {
    pictures_ = folder_.Path("pictures");
    for (const char* folder : {"pictures", "sent", "units"}) {
      fs::create_directory(folder_.Path(folder));
    }
    const std::string config = folder_.Write(
        "gallery.con", "<PATH>" + pictures_ + "</PATH>\r\n<PORT>0</PORT>\r\n" + extra);
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{LUMENVALE_BINARY, config},
                                             ConsoleEnvironment(folder_.Path("units")));
    const std::string banner = server_->ReadLine();
    port_ = BannerPort(banner);
    ASSERT_NE(port_, 0) << banner;
    url_ = "http://127.0.0.1:" + std::to_string(port_) + "/upload.php";
  }

  void TearDown() override {
    if (server_ != nullptr) {
      EXPECT_EQ(server_->Wait(SIGTERM), 0);
    }
  }

  // Writes a file to send and returns its path.
  std::string Source(const std::string& name, const std::string& bytes) {
    return folder_.Write("sent/" + name, bytes);
  }

  std::set<std::string> Pictures() const { return FolderEntries(pictures_); }

  std::string Picture(const std::string& name) const { return folder_.Read("pictures/" + name); }

  TestFolder folder_;
  std::string pictures_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
  std::string url_;
};

TEST_F(UploadClientsTest, CurlAndPythonRequestsSaveEveryFile) {
  Start();
  const std::string a = As(kJpeg, PseudoRandomBytes(300000, 1));
  const std::string b = As(kPng, PseudoRandomBytes(5000, 2));
  const std::string c = As(kGif, PseudoRandomBytes(70000, 3)),
                    d = As(kBmp, PseudoRandomBytes(2, 4));
  EXPECT_EQ(State(Client({"curl", "-s", "-F", CurlFile(Source("a.jpg", a), "image/jpeg"), "-F",
                          CurlFile(Source("b.png", b), "image/png"), url_})),
            kSuccess);
  EXPECT_EQ(
      State(Client({"curl", "-s", "-F", CurlFile(Source("w.webp", "RIFF"), "image/webp"), url_})),
      kRefused);
  const std::string script =
      folder_.Write("post.py",
                    "import requests, sys\n"
                    "files = [('userfile', ('c.gif', open(sys.argv[2], 'rb'), 'image/gif')),\n"
                    "         ('userfile', ('\xE5\x86\x99\xE7\x9C\x9F.bmp', open(sys.argv[3], "
                    "'rb'), 'image/bmp'))]\n"
                    "r = requests.post(sys.argv[1], files=files)\n"
                    "print(r.status_code, r.headers['Content-Type'], r.json()['state'])\n");
  EXPECT_EQ(Client({"/usr/bin/python3", script, url_, Source("c.gif", c), Source("d.bmp", d)}),
            "200 application/json " + kSuccess + "\n");
  EXPECT_EQ(Pictures(),
            (std::set<std::string>{"a.jpg", "b.png", "c.gif", "\xE5\x86\x99\xE7\x9C\x9F.bmp"}));
  EXPECT_EQ(Picture("a.jpg"), a);
  EXPECT_EQ(Picture("b.png"), b);
  EXPECT_EQ(Picture("c.gif"), c);
  EXPECT_EQ(Picture("\xE5\x86\x99\xE7\x9C\x9F.bmp"), d);
  // The status page counts each file's answer, and no post was refused before its files.
  const std::string status = Exchange(port_, "GET /info HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(status.find("Post(5:0/3)"), std::string::npos) << status;
}

TEST_F(UploadClientsTest, DigestAccountsWithAndWithoutTheRight) {
  std::string anna, ben;
  ASSERT_TRUE(PasswordHash("anna", "pw1", &anna));
  ASSERT_TRUE(PasswordHash("ben", "pw2", &ben));
  Start(
      "<NEED_USER>1</NEED_USER>\r\n"
      "<USER><USER_NAME>anna</USER_NAME><HASH>" +
      anna +
      "</HASH><PRIV>1</PRIV></USER>\r\n"
      "<USER><USER_NAME>ben</USER_NAME><HASH>" +
      ben + "</HASH><PRIV>0</PRIV></USER>\r\n");
  const std::string file = Source("p.jpg", As(kJpeg, PseudoRandomBytes(20000, 5)));
  const std::string form = CurlFile(file, "image/jpeg");
  EXPECT_EQ(State(Client({"curl", "-s", "--digest", "-u", "anna:pw1", "-F", form, url_})),
            kSuccess);
  EXPECT_EQ(State(Client({"curl", "-s", "--digest", "-u", "ben:pw2", "-F", form, url_})), kRefused);
  EXPECT_EQ(
      State(Client({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "-F", form, url_})),
      "401");
  const std::string script = folder_.Write(
      "post.py",
      "import requests, sys\n"
      "from requests.auth import HTTPDigestAuth\n"
      "for user, password in (('anna', 'pw1'), ('ben', 'pw2')):\n"
      "    files = {'userfile': ('q.png', b'\\x89PNG\\r\\n\\x1a\\n', 'image/png')}\n"
      "    r = requests.post(sys.argv[1], files=files, auth=HTTPDigestAuth(user, password))\n"
      "    print(r.status_code, r.json()['state'])\n");
  EXPECT_EQ(Client({"/usr/bin/python3", script, url_}),
            "200 " + kSuccess + "\n200 " + kRefused + "\n");
  EXPECT_EQ(Pictures(), (std::set<std::string>{"p.jpg", "q.png"}));
}

// A 200 MB file arrives whole while other clients keep getting pages.
TEST_F(UploadClientsTest, BigFileArrivesWholeWhileOthersAreServed) {
  Start();
  constexpr size_t kSize = 200u * 1000 * 1000;
  const std::string big = Source("big.jpg", As(kJpeg, PseudoRandomBytes(kSize, 6)));
  std::string answer;
  std::atomic<bool> done{false};
  std::thread upload([&] {
    answer = State(Client({"curl", "-s", "-F", CurlFile(big, "image/jpeg"), url_}));
    done = true;
  });
  int pages = 0, slowest_ms = 0;
  while (!done) {
    auto start = std::chrono::steady_clock::now();
    std::string page = Exchange(port_, "GET /Uploader HTTP/1.1\r\nHost: x\r\n\r\n");
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_EQ(page.substr(0, 15), "HTTP/1.1 200 OK");
    ++pages;
    slowest_ms = std::max(slowest_ms, static_cast<int>(ms));
  }
  upload.join();
  EXPECT_EQ(answer, kSuccess);
  std::string differences;
  EXPECT_EQ(platform::RunCommand({"cmp", big, pictures_ + "/big.jpg"}, &differences), 0)
      << differences;
  const uint64_t peak = PeakResidentBytes(server_->pid());
  std::printf(
      "200 MB upload: peak RSS %.2f x the file size; %d pages served meanwhile, "
      "slowest %d ms\n",
      static_cast<double>(peak) / kSize, pages, slowest_ms);
  RecordProperty("peak_rss_bytes", std::to_string(peak));
  // The body goes to the disk while it arrives: the server holds a few megabytes of it at
  // most (its stream's window and spare buffers), beside its own memory, whatever its size.
  constexpr uint64_t kPeakBound = 64u << 20;
  if (kResidentMemoryIsMeaningful) {
    EXPECT_LT(peak, kPeakBound);
  }
}

// Clients that stop in the middle of a body, after a whole file and in the middle of the
// next, leave no file behind and no post counted; the server goes on answering.
TEST_F(UploadClientsTest, ClientsThatStopMidBodyLeaveNoFile) {
  Start();
  const std::string post =
      MultipartPost({{"first.jpg", "image/jpeg", As(kJpeg, PseudoRandomBytes(1 << 20, 9))},
                     {"second.jpg", "image/jpeg", As(kJpeg, PseudoRandomBytes(3 << 20, 10))}});
  const std::string cut = post.substr(0, post.size() - (1 << 20));
  // One ends its side and may read the answer; one is reset without a word.
  int ending = ConnectLoopback(port_), vanishing = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(ending, cut));
  ASSERT_TRUE(SendAll(vanishing, cut));
  shutdown(ending, SHUT_WR);
  EXPECT_EQ(Answer(ReadUntilClosed(ending)), "HTTP/1.1 400 Bad Request");
  const linger reset{1, 0};
  setsockopt(vanishing, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  CloseClient(vanishing);
  CloseClient(ending);
  const std::string status = Exchange(port_, "GET /info HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(status.find("Post(0:0/0)"), std::string::npos) << status;
  EXPECT_EQ(Answer(Exchange(port_, post)), kSuccess);
  EXPECT_EQ(Pictures(), (std::set<std::string>{"first.jpg", "second.jpg"}));
}

// Two posts of photo.jpg completed in the same moment get two names, both files whole.
TEST_F(UploadClientsTest, TwoClientsRacingForOneNameGetTwoNames) {
  Start();
  const std::string first = As(kJpeg, PseudoRandomBytes(4'000'000, 7)),
                    second = As(kJpeg, PseudoRandomBytes(4'000'000, 8));
  const std::string requests[] = {MultipartPost({{"photo.jpg", "image/jpeg", first}}),
                                  MultipartPost({{"photo.jpg", "image/jpeg", second}})};
  int clients[2];
  for (int i = 0; i < 2; ++i) {
    clients[i] = ConnectLoopback(port_);
    ASSERT_TRUE(SendAll(clients[i], requests[i].substr(0, requests[i].size() - 1)));
  }
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(SendAll(clients[i], requests[i].substr(requests[i].size() - 1)));
  for (int client : clients) {
    EXPECT_EQ(Answer(ReadUntilClosed(client)), kSuccess);
    CloseClient(client);
  }
  EXPECT_EQ(Pictures(), (std::set<std::string>{"photo.jpg", "photo (1).jpg"}));
  EXPECT_EQ((std::set<std::string>{Picture("photo.jpg"), Picture("photo (1).jpg")}),
            (std::set<std::string>{first, second}));
}

TEST_F(UploadClientsTest, HostilePostsGetAClearAnswerAndWriteNothingOutside) {
  Start();
  // Names that would escape the folder if taken as paths: unique, so their targets can be
  // looked for afterwards.
  const std::string tag = "lv_escape_" + std::to_string(platform::SecureRandom32());
  const std::string part_header =
      "--b\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"p.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n";
  std::string many;
  for (int i = 0; i < 10000; ++i) many += part_header + "x\r\n";
  many += "--b--\r\n";
  struct Case {
    const char* what;
    std::string request;
    std::string answer;
    std::string saved;  // the name it is saved under, if any
  } cases[] = {
      {"parent folders",
       MultipartPost({{"../../" + tag + "a.jpg", "image/jpeg", As(kJpeg, "1...")}}), kSuccess,
       tag + "a.jpg"},
      {"subfolders", MultipartPost({{"a/b/" + tag + "b.jpg", "image/jpeg", As(kJpeg, "2...")}}),
       kSuccess, tag + "b.jpg"},
      {"backslashes",
       MultipartPost({{"..\\..\\" + tag + "c.jpg", "image/jpeg", As(kJpeg, "3...")}}), kSuccess,
       tag + "c.jpg"},
      {"only dots", MultipartPost({{"..", "image/png", As(kPng, "4.......")}}), kSuccess, ""},
      {"a NUL byte", MultipartPost({{std::string("n\0.jpg", 6), "image/jpeg", "5"}}), kRefused, ""},
      {"a line break", MultipartPost({{"n\r\nContent-Type: x.jpg", "image/jpeg", "6"}}), kFailure,
       ""},
      {"a boundary that never closes", RawPost(part_header + "data"), kFailure, ""},
      {"10 000 tiny parts", RawPost(many), kFailure, ""},
      {"a body past the limit", "POST /upload.php HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n",
       "HTTP/1.1 413 Content Too Large", ""},
  };
  for (const Case& c : cases) {
    std::set<std::string> before = Pictures();
    EXPECT_EQ(Answer(Exchange(port_, c.request)), c.answer) << c.what;
    std::set<std::string> after = Pictures();
    if (!c.saved.empty()) {
      EXPECT_TRUE(after.count(c.saved)) << c.what;
    }
    if (c.answer != kSuccess) {
      EXPECT_EQ(after, before) << c.what;
    }
  }
  // The ".." upload got a made-up name, "img" + hex + ".TMP.png".
  const std::set<std::string> saved = Pictures();
  EXPECT_EQ(std::count_if(saved.begin(), saved.end(),
                          [](const std::string& n) {
                            return std::regex_match(n, std::regex("img[0-9A-F]+\\.TMP\\.png"));
                          }),
            1);

  // A body shorter than its Content-Length: a client that ends its side gets 400; one that
  // stays holds only its own connection while others are served.
  const std::string short_body =
      "POST /upload.php HTTP/1.1\r\nContent-Type: multipart/form-data; "
      "boundary=b\r\nContent-Length: 100000\r\n\r\n--b\r\n";
  int ending = ConnectLoopback(port_), staying = ConnectLoopback(port_);
  ASSERT_TRUE(SendAll(ending, short_body));
  ASSERT_TRUE(SendAll(staying, short_body));
  shutdown(ending, SHUT_WR);
  EXPECT_EQ(Answer(ReadUntilClosed(ending)), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(Exchange(port_, "GET /Uploader HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
  CloseClient(ending);
  CloseClient(staying);

  for (const fs::path& place : {fs::path(folder_.Root()), fs::path(folder_.Root()).parent_path(),
                                fs::temp_directory_path(), fs::path("/")}) {
    for (const char* letter : {"a", "b", "c"}) {
      EXPECT_FALSE(fs::exists(place / (tag + letter + ".jpg"))) << place;
    }
  }
  EXPECT_EQ(Exchange(port_, "GET /Uploader HTTP/1.1\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
}

}  // namespace
