#include "server/pages/jquery_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

#include "server/catalogue/calendar_time.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/page_scripts.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The running binary's last-write time, found without the server's own code.
std::string ExecutableDate() {
  auto written = std::chrono::file_clock::to_sys(
      std::filesystem::last_write_time(std::filesystem::read_symlink("/proc/self/exe")));
  return FormatHttpDate(
      std::chrono::floor<std::chrono::seconds>(written).time_since_epoch().count());
}

std::string ExpectedResponse(const std::string& status, const std::string& type,
                             const std::string& body) {
  return status +
         "\r\n"
         "Cache-Control: max-age=0\r\n"
         "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "Connection: Close\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
         "Last-Modified: " +
         ExecutableDate() + "\r\nContent-Type: " + type +
         "\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" + body;
}

class JQueryProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CJQueryProcess>());
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  // The response to `target` with `headers`, its nonce (checked for form) replaced by NONCE.
  std::string Get(const std::string& target, const std::string& headers = "") {
    std::string response =
        server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    static const std::regex nonce("'nonce-[A-Za-z0-9+/]{22}=='");
    EXPECT_EQ(std::distance(std::sregex_iterator(response.begin(), response.end(), nonce),
                            std::sregex_iterator()),
              1)
        << response.substr(0, 400);
    return std::regex_replace(response, nonce, "'nonce-NONCE'",
                              std::regex_constants::format_first_only);
  }

  ResponseCapture server_;
};

TEST_F(JQueryProcessTest, ServesEveryScriptOfTheTable) {
  const std::string resources = LUMENVALE_SOURCE_DIR "/server/pages/resources/";
  struct Case {
    const char* name;
    std::string body;
    const char* type;
  } cases[] = {
      {"jquery.min.js", ReadFile(LUMENVALE_SOURCE_DIR "/node_modules/jquery/dist/jquery.min.js"),
       "text/javascript"},
      {"jquery_ui.js", ReadFile(LUMENVALE_SOURCE_DIR "/node_modules/jquery-ui/dist/jquery-ui.js"),
       "text/javascript"},
      {"ImagePageUI.js", ReadFile(resources + "ImagePageUI.js"), "text/javascript"},
      {"font.css", ReadFile(resources + "font.css"), "text/css"},
      {"DirectImagePage.css", ReadFile(resources + "DirectImagePage.css"), "text/css"},
      {"5-1-9.css", ReadFile(resources + "5-1-9.css"), "text/css"},
      {"ImagePage.js", ImagePageScript(), "text/javascript"},
      {"ImagePageMove.js", ImagePageMoveScript(), "text/javascript"},
      {"ImageThumbnailPageMoveByKey.js", ImageThumbnailPageMoveByKeyScript(), "text/javascript"},
      {"ImageThumbnailPageMoveByTouch.js", ImageThumbnailPageMoveByTouchScript(),
       "text/javascript"},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.body.empty()) << c.name;
    // Compared whole: the header block byte for byte and the body as the file holds it.
    EXPECT_TRUE(Get(std::string("/script?name=") + c.name) ==
                ExpectedResponse("HTTP/1.1 200 OK", c.type, c.body))
        << c.name;
  }
  EXPECT_NE(ReadFile(LUMENVALE_SOURCE_DIR "/node_modules/jquery/package.json")
                .find("\"version\": \"3.6.4\""),
            std::string::npos);
  EXPECT_NE(ReadFile(LUMENVALE_SOURCE_DIR "/node_modules/jquery-ui/package.json")
                .find("\"version\": \"1.13.2\""),
            std::string::npos);
}

TEST_F(JQueryProcessTest, OtherNamesGiveAnEmptyScript) {
  const std::string empty = ExpectedResponse("HTTP/1.1 200 OK", "text/javascript", "");
  for (const char* target :
       {"/script?name=FONT.css", "/script?name=Font.css", "/script?name=jquery.min.JS",
        "/script?name=font.css%00", "/script?name=%66ont.css", "/script?name=", "/script?name",
        "/script?other=font.css", "/script"}) {
    EXPECT_EQ(Get(target), empty) << target;
  }
}

TEST_F(JQueryProcessTest, NotModifiedOnlyForTheExactDate) {
  const std::string date = ExecutableDate();
  const std::string not_modified =
      ExpectedResponse("HTTP/1.1 304 Not modified", "text/javascript", "");
  struct Case {
    std::string headers;
    bool not_modified;
  } cases[] = {
      {"If-Modified-Since: " + date + "\r\n", true},
      {"if-modified-since: " + date + "\r\n", true},   // header names ignore case
      {"If-Modified-Since:" + date + "  \r\n", true},  // blanks around a value are not part of it
      {"If-Modified-Since: " + date + "x\r\n", false},
      {"If-Modified-Since: " + date.substr(0, date.size() - 1) + "\r\n", false},
      {"If-Modified-Since: " + std::string(1, static_cast<char>(date[0] + 32)) + date.substr(1) +
           "\r\n",
       false},  // day name in lower case
      {"If-Modified-Since: Thu, 01 Jan 1970 00:00:00 GMT\r\n", false},
      {"If-Modified-Since: \r\n", false},
      {"", false},
      {"X-If-Modified-Since: " + date + "\r\n", false},
  };
  const std::string full =
      ExpectedResponse("HTTP/1.1 200 OK", "text/css",
                       ReadFile(LUMENVALE_SOURCE_DIR "/server/pages/resources/font.css"));
  for (const Case& c : cases) {
    EXPECT_EQ(Get("/script?name=font.css", c.headers), c.not_modified ? not_modified : full)
        << c.headers;
  }
  // 304 is typed as a script whatever the name.
  for (const char* name : {"5-1-9.css", "jquery.min.js", "unknown"}) {
    EXPECT_EQ(Get(std::string("/script?name=") + name, "If-Modified-Since: " + date + "\r\n"),
              not_modified)
        << name;
  }
}

TEST_F(JQueryProcessTest, DateTextElsewhereInTheRequestIsNoValidator) {
  const std::string date = ExecutableDate();
  std::string in_body = server_.Dispatch(
      "POST /script?name=font.css HTTP/1.1\r\nContent-Length: 50\r\n\r\nIf-Modified-Since: " +
      date + "\r\n");
  EXPECT_EQ(in_body.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  std::string in_header =
      Get("/script?name=font.css", "X-Note: If-Modified-Since: " + date + "\r\n");
  EXPECT_EQ(in_header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
}

TEST_F(JQueryProcessTest, RevalidationRoundTrip) {
  std::string first = Get("/script?name=ImagePageMove.js");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(first, match, std::regex("\r\nLast-Modified: ([^\r]*)\r\n")));
  EXPECT_TRUE(std::regex_match(match[1].str(),
                               std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat), [0-9]{2} "
                                          "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                          "[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} GMT")));
  std::string second =
      Get("/script?name=ImagePageMove.js", "If-Modified-Since: " + match[1].str() + "\r\n");
  EXPECT_EQ(second.substr(0, 27), "HTTP/1.1 304 Not modified\r\n");
  EXPECT_NE(second.find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_EQ(second.substr(second.size() - 4), "\r\n\r\n");
}

TEST_F(JQueryProcessTest, LongerPathsAreNotScripts) {
  std::string response = Get("/script/x?name=font.css");
  EXPECT_EQ(response.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
}

TEST(ScriptResponseTest, WithoutADateThereIsNoLastModifiedAndNo304) {
  EXPECT_EQ(Http1Text(ScriptResponse("unknown", "", "", "N")),
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: 0\r\n"
            "Connection: Close\r\n"
            "Content-Security-Policy: script-src 'self' 'nonce-N'\r\n"
            "Content-Type: text/javascript\r\n"
            "X-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\n");
}

}  // namespace
