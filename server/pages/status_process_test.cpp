#include "server/pages/status_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

#include "platform/clock.h"
#include "platform/testing/test_folder.h"
#include "platform/text.h"
#include "server/catalogue/testing/settle_catalogue.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/net/testing/accounts_process.h"
#include "server/net/testing/response_capture.h"
#include "server/upnp/testing/fake_gateway.h"

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  return std::regex_replace(text, std::regex(from), to);
}

// A golden page, with the program's version for "{VERSION}".
std::string ReadTestData(const std::string& name) {
  std::ifstream in(LUMENVALE_SOURCE_DIR "/server/pages/testdata/" + name, std::ios::binary);
  return Replace(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
                 "\\{VERSION\\}", LUMENVALE_FILE_VERSION);
}

TEST(StatusVersionTest, FourNumbers) {
  EXPECT_TRUE(std::regex_match(LUMENVALE_FILE_VERSION, std::regex("\\d+\\.\\d+\\.\\d+\\.\\d+")));
}

// A configuration read from a file, with text from outside in its path, title and folders.
ServerSettings LoadedSettings() {
  ServerSettings settings;
  settings.loaded = true;
  settings.config_path = "/srv/写真/gallery.con";
  settings.title = "Holiday <b>\"&";
  settings.folders = {"/srv/写真", "/srv/a</a><img src=x>"};
  settings.sub = 1;
  settings.reset_standby_access = 1;
  settings.zip_reject = 1;
  settings.zip_reject_upload = 2;
  settings.buffer_size = 64;
  return settings;
}

class StatusProcessTest : public ::testing::Test {
 protected:
  // The response for `settings` and `upnp`, with the nonce replaced by "NONCE" and the body
  // decoded from Shift-JIS.
  std::string Get(const ServerSettings& settings, UpnpPortMapper& upnp) {
    ResponseCapture server;
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(
        std::make_unique<CStatusProcess>(StatusSources{settings, catalogue_, upnp, pool_,
                                                       [] {
                                                         return LoopFigures{12, 340, 5, 1, 6};
                                                       },
                                                       server}));
    handlers.push_back(std::make_unique<C404rocess>());
    server.SetHandlers(std::move(handlers));
    std::string response = server.Dispatch("GET /info HTTP/1.1\r\nHost: h\r\n\r\n");
    response = Replace(response, "[A-Za-z0-9+/]{22}==", "NONCE");
    const size_t body_start = response.find("\r\n\r\n") + 4;
    std::string body;
    EXPECT_TRUE(platform::Cp932ToUtf8(response.substr(body_start), &body));
    return response.substr(0, body_start) + body;
  }

  TestFileAccess access_;
  MySystem::CThreadMgr pool_{1};
  ImageCatalogue catalogue_{&pool_, access_.files};
};

TEST_F(StatusProcessTest, FoldersHiddenAndUpnpOff) {
  const ServerSettings settings = LoadedSettings();
  UpnpPortMapper upnp(settings);
  EXPECT_EQ(Get(settings, upnp), ReadTestData("status_fullpath0_upnp0.txt"));
}

TEST_F(StatusProcessTest, FoldersShownWithDiagnostics) {
  ServerSettings settings = LoadedSettings();
  settings.show_fullpath = 1;
  catalogue_.AppendDiagnostics("hash_file_path is empty\n");
  UpnpPortMapper upnp(settings);
  EXPECT_EQ(Get(settings, upnp), ReadTestData("status_fullpath1.txt"));
}

TEST_F(StatusProcessTest, MappingMadeByTheGateway) {
  FakeGateway gateway;
  ServerSettings settings = LoadedSettings();
  settings.upnp = 1;
  settings.upnp_port = FreeUdpPort();
  UpnpPortMapper upnp(settings, gateway.Network());
  upnp.MapPort();
  ASSERT_EQ(upnp.stage(), 2);
  EXPECT_EQ(Get(settings, upnp),
            Replace(ReadTestData("status_upnp_stage2.txt"), "\\{EXTERNAL_PORT\\}",
                    std::to_string(settings.upnp_port)));
}

TEST_F(StatusProcessTest, ConfigurationNotLoadedShowsTheDefaults) {
  ServerSettings settings;
  ASSERT_FALSE(settings.load("/nonexistent/lumenvale-status-test.con"));
  UpnpPortMapper upnp(settings);
  EXPECT_EQ(Get(settings, upnp), ReadTestData("status_not_loaded.txt"));
}

TEST_F(StatusProcessTest, CountsPicturesByType) {
  TestFolder folder;
  for (const char* name :
       {"a.jpg", "B.JPG", "c.png", "IMG_0001.HEIC", "PXL_0003.avif", "m.heic", "notes.txt"}) {
    folder.Write(name, "x");
  }
  const std::string zip = "cd " + folder.Root() + " && zip -q -X z.zip m.heic && rm m.heic";
  ASSERT_EQ(std::system(zip.c_str()), 0);
  catalogue_.SetFolders({folder.Root()});
  catalogue_.Rescan();
  test_support::SettleCatalogue(&catalogue_);
  const ServerSettings settings = LoadedSettings();
  UpnpPortMapper upnp(settings);
  EXPECT_NE(Get(settings, upnp)
                .find("<br>Pictures:6 image/avif:1 image/heic:2 image/jpeg:2 image/png:1<br>"),
            std::string::npos);
}

TEST_F(StatusProcessTest, UpnpStageTextByOption) {
  struct Case {
    uint32_t upnp;
    const char* line;
  } cases[] = {
      {0, "UPnP stage:0,ポート開放処理しない<br>"},
      {1, "UPnP stage:0,ポート開放処理に失敗<br>"},
      {2, "UPnP stage:0,<br>"},  // searched, but no text for other option values
  };
  FakeGateway::Behaviour silent;
  silent.search_answer = "";
  FakeGateway gateway(silent);
  for (const Case& c : cases) {
    ServerSettings settings = LoadedSettings();
    settings.upnp = c.upnp;
    settings.port = FreeUdpPort();
    UpnpPortMapper upnp(settings, gateway.Network(5));
    upnp.MapPort();
    EXPECT_NE(Get(settings, upnp).find(c.line), std::string::npos) << c.upnp;
  }
}

// Through a real socket server: the table lists the idle connections and the one asking.
TEST(StatusProcessSocketTest, ListsConnectionsByStage) {
  TestFileAccess access;
  MySystem::CThreadMgr pool(1);
  ImageCatalogue catalogue(&pool, access.files);
  const ServerSettings settings;
  UpnpPortMapper upnp(settings);
  CImageServer server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CStatusProcess>(
      StatusSources{settings, catalogue, upnp, pool, [] { return LoopFigures{}; }, server}));
  server.SetHandlers(std::move(handlers));
  ASSERT_TRUE(server.Start("0"));
  int idle[2];
  std::string response;
  {
    SteppingThread stepping(&server);
    // The kernel hands a connection over once its first bytes are there: the idle two have
    // begun their requests.
    for (int& client : idle) {
      client = ConnectLoopback(server.ListeningPort());
      SendAll(client, "GET");
    }
    // Time for the loop to accept the two idle connections.
    platform::SleepMs(50);
    response = Exchange(server.ListeningPort(), "GET /info HTTP/1.1\r\nHost: h\r\n\r\n");
  }
  CloseClient(idle[0]);
  CloseClient(idle[1]);
  server.Stop();
  // Each stage from -1 to 5 once, in order, with its count and as many handles.
  std::regex stage_line("(-?\\d+):(\\d+) sockets\\.((\\[\\d+\\])*)<br>");
  std::vector<int> counts;
  for (std::sregex_iterator it(response.begin(), response.end(), stage_line), end; it != end;
       ++it) {
    EXPECT_EQ(std::stoi((*it)[1]), static_cast<int>(counts.size()) - 1);
    counts.push_back(std::stoi((*it)[2]));
    const std::string handles = (*it)[3];
    EXPECT_EQ(std::count(handles.begin(), handles.end(), '['), counts.back()) << response;
  }
  ASSERT_EQ(counts.size(), 7u) << response;
  // The idle two wait for their requests; the asking one is being processed.
  EXPECT_EQ(counts[1] + counts[2], 2) << response;
  EXPECT_EQ(counts[3], 1) << response;
  EXPECT_EQ(counts[0] + counts[4] + counts[5] + counts[6], 0) << response;
  EXPECT_TRUE(response.ends_with("5:0 sockets.<br></body>\r\n</html>")) << response;
}

}  // namespace

// With login on the page is for the users who may upload: it shows every client's connection
// and the configuration.
TEST(StatusProcessRightsTest, WithLoginOnOnlyUsersWhoMayUploadSeeThePage) {
  TestFileAccess access;
  MySystem::CThreadMgr pool(1);
  ImageCatalogue catalogue(&pool, access.files);
  ServerSettings settings;
  settings.need_user = 1;
  settings.users = {{"anna", "h1", 1, ""}, {"ben", "h2", 0, ""}};
  UpnpPortMapper upnp(settings);
  for (const UserAccount& user : settings.users) {
    ResponseCapture server;
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<AccountsProcess>(std::vector<UserAccount>{user}));
    handlers.push_back(std::make_unique<CStatusProcess>(
        StatusSources{settings, catalogue, upnp, pool, [] { return LoopFigures{}; }, server}));
    server.SetHandlers(std::move(handlers));
    const std::string response = server.Dispatch("GET /info HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(response.substr(0, response.find("\r\n")),
              user.privilege == 1 ? "HTTP/1.1 200 OK" : "HTTP/1.1 403 Forbidden")
        << user.name;
  }
}
