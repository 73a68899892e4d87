#include "server/pages/image_upload_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "platform/text.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/embedded_resources.h"

namespace {

// The page as the browser reads it, in UTF-8, for a title that needs escaping.
std::string ExpectedPage() {
  return "<!DOCTYPE html>\r\n"
         "<html>\r\n"
         "<head>\r\n"
         "<meta http-equiv=\"content-type\" charset=\"Shift-JIS\">\r\n"
         "<meta name = \"viewport\" content = \"width=device-width, initial-scale=1\" >\r\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html;\" />\r\n"
         "<link rel=\"stylesheet\" type=\"text/css\" href=\"/script?name=font.css\">\r\n"
         "<title>&#x41;&#x3C;&#x26;&#x22;&#x5199;&#x1F4F7; ファイルアップローダ</title>\r\n"
         "<style>@media (max-width:600px){#btn{min-width:48px;min-height:48px;padding:0 16px;"
         "font-size:16px;}a[href]{display:inline-block;min-height:44px;line-height:44px;}}"
         "</style>\r\n"
         "<script nonce=\"NONCE\" src = \"/script?name=jquery.min.js\"></script>\r\n"
         "<script nonce=\"NONCE\">\r\n" +
         UploaderScript() +
         "</script>\r\n"
         "</head>\r\n"
         "<body>\r\n"
         "<div id=\"drag-area\" style=\"border-style: dashed;background-color: #042943; color: "
         "#ffffff;\">\r\n"
         " <p>アップロードするファイルをドロップ</p>\r\n"
         " <p>または</p>\r\n"
         " <div class=\"btn-group\">\r\n"
         "    <input id=\"file_selecter\" type=\"file\" multiple=\"multiple\" "
         "accept=\"image/jpeg,image/png,image/gif,image/bmp,image/heic,image/heif,image/avif\" "
         "style=\"display:none;\" name=\"userfile\"/>\r\n"
         "    <button id=\"btn\">ファイルを選択</button>\r\n"
         " </div>\r\n"
         "</div>\r\n"
         "<progress value=\"0\" id=\"prog\" max=100></progress>(<span id=\"pv\" "
         "style=\"color:#00b200\">0</span>%)\r\n"
         "\t<div id = \"result\"></div>\r\n"
         "<p><a href = \"/\">ギャラリーに戻る</a></p>\r\n"
         "</body>\r\n"
         "</html>\r\n";
}

TEST(UploaderPageTest, TheScriptKnowsTheLargestFileAPostCarries) {
  const std::string script = UploaderScript();
  EXPECT_NE(script.find("var maxFileBytes = 536805376;\r\n"), std::string::npos);
  EXPECT_EQ(script.find("{{"), std::string::npos);
}

TEST(UploaderPageTest, HeadersAndShiftJisPageExactly) {
  ServerSettings settings;
  settings.title = "A<&\"写\xF0\x9F\x93\xB7";
  const std::string response = Http1Text(UploaderPageResponse(settings, "NONCE"));
  const size_t blank = response.find("\r\n\r\n");
  ASSERT_NE(blank, std::string::npos);
  const std::string body = response.substr(blank + 4);
  EXPECT_EQ(response.substr(0, blank + 4),
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: " +
                std::to_string(body.size()) +
                "\r\n"
                "Connection: Close\r\n"
                "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
                "Content-Type: text/html\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n");
  std::string page;
  ASSERT_TRUE(platform::Cp932ToUtf8(body, &page));
  EXPECT_EQ(page, ExpectedPage());
}

TEST(UploaderPageTest, ServedForItsExactPathWithAFreshNonce) {
  ServerSettings settings;
  ResponseCapture server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CImageUploadProcess>(settings));
  handlers.push_back(std::make_unique<C404rocess>());
  server.SetHandlers(std::move(handlers));
  const std::regex nonce("'nonce-([A-Za-z0-9+/]{22}==)'");
  std::smatch first, second;
  const std::string get = server.Dispatch("GET /Uploader HTTP/1.1\r\n\r\n");
  const std::string post = server.Dispatch("POST /Uploader?x=1 HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(std::regex_search(get, first, nonce));
  ASSERT_TRUE(std::regex_search(post, second, nonce));
  EXPECT_NE(first[1], second[1]);
  EXPECT_NE(get.find("<script nonce=\"" + first[1].str() + "\">"), std::string::npos);
  for (const char* other : {"/uploader", "/Uploader/", "/Uploader.php"}) {
    EXPECT_EQ(server.Dispatch("GET " + std::string(other) + " HTTP/1.1\r\n\r\n").substr(0, 24),
              "HTTP/1.1 404 Not Found\r\n")
        << other;
  }
}

}  // namespace
