#include "server/pages/home_page_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"

namespace {

// The page, in Shift-JIS, for the title "Lumenvale" and the given redirect target.
std::string ExpectedPage(const std::string& target) {
  return "<!DOCTYPE html>\r\n"
         "<html>\r\n"
         "<head>\r\n"
         "<meta http-equiv=\"content-type\" charset=\"Shift-JIS\">\r\n"
         "<title>&#x4C;&#x75;&#x6D;&#x65;&#x6E;&#x76;&#x61;&#x6C;&#x65;</title>\r\n"
         "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"0; URL =" +
         target +
         "\">"
         "</head>\r\n"
         "<body>\r\n"
         // 画像に移動します。
         "\x89\xE6\x91\x9C\x82\xC9\x88\xDA\x93\xAE\x82\xB5\x82\xDC\x82\xB7\x81\x42\r\n"
         "</body>\r\n"
         "</html>";
}

std::string ExpectedResponse(const std::string& body) {
  return "HTTP/1.1 200 OK\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
         "Connection: Close\r\n"
         "Content-Type: text/html\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" +
         body;
}

class HomePageProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CHomePageProcess>(settings_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  std::string Get(const std::string& target) {
    std::string response = server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    return std::regex_replace(response, std::regex("'nonce-[A-Za-z0-9+/]{22}=='"), "'nonce-NONCE'");
  }

  ServerSettings settings_;
  ResponseCapture server_;
};

TEST_F(HomePageProcessTest, RedirectsByTopFolder) {
  struct Case {
    uint32_t top_folder;
    const char* target;
  } cases[] = {
      {0, "view?page=T-1-D-0"},
      {1, "view?page=T-1-PN-0"},
      {2, "view?page=T-1-D-0"},  // only 1 means folders first
  };
  for (const Case& c : cases) {
    settings_.top_folder = c.top_folder;
    EXPECT_EQ(Get("/"), ExpectedResponse(ExpectedPage(c.target))) << c.top_folder;
  }
}

TEST_F(HomePageProcessTest, TitleIsWrittenAsEntities) {
  settings_.title = "写真<b>";
  std::string response = Get("/");
  EXPECT_NE(response.find("<title>&#x5199;&#x771F;&#x3C;&#x62;&#x3E;</title>\r\n"),
            std::string::npos)
      << response;
}

TEST_F(HomePageProcessTest, OnlyTheRootPath) {
  EXPECT_EQ(Get("/?ui=1"), ExpectedResponse(ExpectedPage("view?page=T-1-D-0")));
  for (const char* target : {"/index.html", "//", "/view/"}) {
    EXPECT_EQ(Get(target).substr(0, 24), "HTTP/1.1 404 Not Found\r\n") << target;
  }
}

}  // namespace
