#include "server/pages/image_page_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <thread>

#include "platform/testing/test_folder.h"
#include "server/catalogue/list_positions.h"
#include "server/catalogue/picture_id.h"
#include "server/catalogue/testing/test_file_access.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/page_common.h"

namespace {

constexpr char kNonce[] = "NONCE0123456789abcdefg==";

ImageEntry Entry(std::string_view path, int64_t time) {
  ImageEntry e;
  e.path = SharedPath(path);
  e.lastWriteTime = time;
  return e;
}

// Ten images, five in each of two folders under `root`, whose date order differs from their
// name order: by name a0..a4 (folder x), b0..b4 (folder y); by date a0 a3 b1 b4 a2 b0 b3 a1
// a4 b2.
std::vector<ImageEntry> TenImages(const std::string& root = "/p") {
  std::vector<ImageEntry> list;
  for (int i = 0; i < 10; ++i) {
    std::string name = (i < 5 ? "x/a" : "y/b") + std::to_string(i % 5) + ".jpg";
    list.push_back(Entry(root + "/" + name, (i * 7) % 10 * 10 + 10));
  }
  PositionList(&list, false);
  return list;
}

std::vector<ImageEntry> ManyImages(int count) {
  std::vector<ImageEntry> list;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/p/img%04d.jpg", i);
    list.push_back(Entry(name, i));
  }
  PositionList(&list, false);
  return list;
}

s_request Request(const std::string& target) {
  s_request request;
  EXPECT_TRUE(request.parse(target)) << target;
  return request;
}

std::string ReadGolden(const std::string& name) {
  std::ifstream in(LUMENVALE_SOURCE_DIR "/server/pages/testdata/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The body of a complete response.
std::string Body(const std::string& response) {
  size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

// The `page` values of the pictures the body loads: the shown one, then the neighbours that
// wait for it, in order.
std::vector<std::string> PictureKeys(const std::string& body) {
  std::vector<std::string> keys;
  const std::regex source(" (?:data-)?src=\"image\\?page=([^&\"]*)[^\"]*\"");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), source);
       it != std::sregex_iterator(); ++it) {
    keys.push_back((*it)[1]);
  }
  return keys;
}

// The href of the anchor with `id`.
std::string AnchorHref(const std::string& body, const std::string& id) {
  std::smatch match;
  std::regex anchor("<a id = \"" + id + "\" href = \"([^\"]*)\">");
  return std::regex_search(body, match, anchor) ? match[1].str() : "(none)";
}

class ImagePageTest : public ::testing::Test {
 protected:
  ImagePage Make(const std::string& target, uint32_t random = 0) {
    ImagePage page;
    EXPECT_TRUE(MakeImagePage(settings_, orders_, Request(target), kNonce, random, &page))
        << target;
    return page;
  }

  ServerSettings settings_;
  OrderedLists orders_;
};

TEST_F(ImagePageTest, WholePage) {
  orders_.BuildOrders(TenImages());
  ImagePage page = Make("/individual?page=1-D-2&ui=1", 17);

  const std::string body = ReadGolden("image_page.html");
  ASSERT_FALSE(body.empty());
  EXPECT_EQ(Http1Text(page.response),
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Content-Length: " +
                std::to_string(body.size()) +
                "\r\n"
                "Connection: Close\r\n"
                "Content-Security-Policy: script-src 'self' 'nonce-NONCE0123456789abcdefg=='\r\n"
                "Content-Type: text/html\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" +
                body);
  // JPEGs are sent in renditions, made from the file itself: nothing to read ahead.
  EXPECT_TRUE(page.preread_paths.empty());
}

TEST_F(ImagePageTest, NeighbourKeys) {
  struct Case {
    int count;
    const char* key;
    std::vector<std::string> keys;  // current, next, previous, two back, two ahead
  } cases[] = {
      {10, "1-N-0", {"1-N-0", "1-N-1", "1-N-9", "1-N-9", "1-N-2"}},
      {10, "1-N-9", {"1-N-9", "1-N-0", "1-N-8", "1-N-7", "1-N-0"}},
      {10, "1-N-1", {"1-N-1", "1-N-2", "1-N-0", "1-N-9", "1-N-3"}},
      {10, "1-N-8", {"1-N-8", "1-N-9", "1-N-7", "1-N-6", "1-N-0"}},
      {10, "7-PD-1", {"7-PD-1", "7-PD-0", "7-PD-0", "7-PD-1", "7-PD-0"}},  // two folders
      // Outside the list: positions without an entry stay empty.
      {10, "1-N-50", {"1-N-", "1-N-0", "1-N-", "1-N-", "1-N-0"}},
      {10, "1-N-99999999999", {"1-N-", "1-N-0", "1-N-", "1-N-", "1-N-0"}},
      {10, "1-N-x", {"1-N-0", "1-N-1", "1-N-9", "1-N-9", "1-N-2"}},
      {0, "1-N-0", {"1-N-", "1-N-", "1-N-", "1-N-", "1-N-"}},
      {1, "1-N-0", {"1-N-0", "1-N-0", "1-N-0", "1-N-0", "1-N-0"}},
      // A code that names no order reads as the name order, and is written as such.
      {10, "1-X-3", {"1-N-3", "1-N-4", "1-N-2", "1-N-1", "1-N-5"}},
  };
  for (const Case& c : cases) {
    orders_.BuildOrders(c.count == 10 ? TenImages() : ManyImages(c.count));
    ImagePage page = Make(std::string("/individual?page=") + c.key);
    // The shown picture, then each neighbour that exists once: next, previous, two ahead,
    // two back. Nothing is preloaded.
    std::vector<std::string> loaded = {c.keys[0]};
    for (int i : {1, 2, 4, 3}) {
      const std::string& key = c.keys[i];
      if (key.back() != '-' && std::find(loaded.begin(), loaded.end(), key) == loaded.end()) {
        loaded.push_back(key);
      }
    }
    const std::string body = Body(Http1Text(page.response));
    EXPECT_EQ(PictureKeys(body), loaded) << c.key;
    EXPECT_EQ(body.find("preload"), std::string::npos) << c.key;
    EXPECT_EQ(AnchorHref(body, "NextPage"), "/individual?page=" + c.keys[1]) << c.key;
    EXPECT_EQ(AnchorHref(body, "PrevPage"), "/individual?page=" + c.keys[2]) << c.key;
  }
}

// Pictures sent as stored (GIF, SVG) are read into the file cache ahead; those sent in
// renditions are not.
TEST_F(ImagePageTest, PreReadsEachExistingNeighbourSentAsStoredOnce) {
  std::vector<ImageEntry> list = {Entry("/p/a.gif", 1), Entry("/p/b.jpg", 2), Entry("/p/c.svg", 3)};
  PositionList(&list, false);
  orders_.BuildOrders(list);
  EXPECT_EQ(Make("/individual?page=1-N-0").preread_paths,
            (std::vector<std::string>{"/p/a.gif", "/p/c.svg"}));
  // Outside the list only next and two ahead, both wrapped to 0, have an entry.
  EXPECT_EQ(Make("/individual?page=1-N-5").preread_paths, (std::vector<std::string>{"/p/a.gif"}));
  EXPECT_TRUE(Make("/individual?page=1-F-0").preread_paths.empty());  // no likes
}

// The shown picture offers its screen renditions; a GIF is shown as stored.
TEST_F(ImagePageTest, ScreenRenditionsOfPicturesThatHaveThem) {
  std::vector<ImageEntry> list = {Entry("/p/a.gif", 1), Entry("/p/b.JPG", 2)};
  PositionList(&list, false);
  orders_.BuildOrders(list);
  const std::string jpeg = Body(Http1Text(Make("/individual?page=1-N-1&auto=b").response));
  EXPECT_NE(jpeg.find("id = \"main\" src=\"image?auto=b&page=1-N-1\" srcset=\""
                      "image?auto=b&page=1-N-1&width=640 640w, "
                      "image?auto=b&page=1-N-1&width=1080 1080w, "
                      "image?auto=b&page=1-N-1&width=1600 1600w, "
                      "image?auto=b&page=1-N-1&width=2400 2400w\" sizes=\"100vw\" "),
            std::string::npos);
  const std::string gif = Body(Http1Text(Make("/individual?page=1-N-0").response));
  EXPECT_NE(gif.find("id = \"main\" src=\"image?page=1-N-0\" style="), std::string::npos);
  // Its neighbour, the JPEG, waits with its renditions for the shown picture.
  EXPECT_NE(gif.find("<img alt=\"\" data-src=\"image?page=1-N-1\" "
                     "data-srcset=\"image?page=1-N-1&width=640 640w"),
            std::string::npos);
}

TEST_F(ImagePageTest, RandomLink) {
  orders_.BuildOrders(TenImages());
  const std::string body = Body(Http1Text(Make("/individual?page=1-N-4", 4000000023u).response));
  EXPECT_EQ(AnchorHref(body, "RandomPage"), "/individual?page=1-N-3");
  // An empty list keeps the current key.
  orders_.BuildOrders({});
  EXPECT_EQ(AnchorHref(Body(Http1Text(Make("/individual?page=1-N-4", 5).response)), "RandomPage"),
            "/individual?page=1-N-");
}

TEST_F(ImagePageTest, OrderLinksSkipTheCurrentOrderAndTheRanking) {
  std::vector<ImageEntry> list = TenImages();
  orders_.BuildOrders(list);
  for (const ImageEntry& e : list) {
    if (e.path == "/p/y/b1.jpg") orders_.SetLikes({e});  // name 6, date 2, folder 1
  }
  const std::string labels[] = {"ファイル名順", "更新日順", "フォルダ先頭(名前)",
                                "フォルダ先頭(日時)"};
  struct Case {
    const char* key;
    int plain;  // index of the label written without a link, -1 for none
    const char* link_keys[4];
  } cases[] = {
      {"1-N-6", 0, {"", "1-D-2", "1-PN-1", "1-PD-1"}},
      {"1-D-2", 1, {"1-N-6", "", "1-PN-1", "1-PD-1"}},
      {"1-F-0", -1, {"1-N-6", "1-D-2", "1-PN-1", "1-PD-1"}},
      {"1-PD-1", 3, {"1-N-6", "1-D-2", "1-PN-1", ""}},  // b1 is folder y's oldest
      {"1-PN-1", 2, {"1-N-5", "1-D-5", "", "1-PD-1"}},  // b0 is folder y's first by name
      {"1-N-20", 0, {"", "1-D-", "1-PN-", "1-PD-"}},    // no image there
  };
  for (const Case& c : cases) {
    std::string expected;
    for (int i = 0; i < 4; ++i) {
      expected += i == c.plain ? labels[i] + "\r\n"
                               : "<a href = \"/individual?page=" + std::string(c.link_keys[i]) +
                                     "\">" + labels[i] + "</a>\r\n";
    }
    const std::string body =
        Body(Http1Text(Make(std::string("/individual?page=") + c.key).response));
    EXPECT_NE(body.find("</a>\r\n" + ShiftJisPage(expected) + "<P>\r\n"), std::string::npos)
        << c.key << "\n"
        << body;
    EXPECT_EQ(body.find(ShiftJisPage("ランキング")), std::string::npos);
  }
}

TEST_F(ImagePageTest, WordNarrowsTheListAndLeavesOnlyTheOrderLinks) {
  orders_.BuildOrders(TenImages());
  // "y" matches every path of folder y, and no path of folder x ("/p/x/a0.jpg").
  const std::string body = Body(Http1Text(Make("/individual?page=1-N-1&word=y").response));
  EXPECT_EQ(AnchorHref(body, "NextPage"), "/individual?page=1-N-2&word=y");
  EXPECT_EQ(AnchorHref(body, "PrevPage"), "/individual?page=1-N-0&word=y");
  // Position 1 of the narrowed list is b1: name position 6 unnarrowed.
  EXPECT_NE(body.find("&#x62;&#x31;&#x2E;&#x6A;&#x70;&#x67;\r\n"), std::string::npos);
  EXPECT_NE(body.find("<a href = \"/individual?page=1-D-2\">"), std::string::npos);
  EXPECT_NE(body.find("src=\"image?page=1-N-1&word=y\""), std::string::npos);
  EXPECT_NE(body.find("<a id = \"ViewPage\" href = \"view?page=T-1-N-0&word=y\">"),
            std::string::npos);
  EXPECT_NE(body.find("url: \"/vote?id=" + PictureId("/p/y/b1.jpg") + "&page=1-N-1&word=y\",\n"),
            std::string::npos);
}

// The share link names the picture by its id: after a rescan that moved it, the same link
// shows the same picture, at its new place in the name order, and the page's own links are
// the usual position keys again.
TEST_F(ImagePageTest, TheSharedLinkNamesThePictureWhereverItMoved) {
  orders_.BuildOrders(TenImages());
  const std::string id = PictureId("/p/y/b1.jpg");
  std::string body = Body(Http1Text(Make("/individual?page=1-N-6").response));
  EXPECT_EQ(AnchorHref(body, "ShareLink"), "individual?id=" + id);

  std::vector<ImageEntry> moved = TenImages();
  moved.push_back(Entry("/p/a.jpg", 5));  // sorts first: every name position moves by one
  PositionList(&moved, false);
  orders_.BuildOrders(moved);
  body = Body(Http1Text(Make("/individual?id=" + id + "&word=x&ui=1").response));
  EXPECT_NE(body.find("&#x62;&#x31;&#x2E;&#x6A;&#x70;&#x67;\r\n"), std::string::npos);
  // "ui" is no parameter of the image page: its links leave it behind.
  EXPECT_NE(body.find("src=\"image?page=1-N-7\""), std::string::npos);
  EXPECT_EQ(AnchorHref(body, "NextPage"), "/individual?page=1-N-8");
  EXPECT_EQ(AnchorHref(body, "ShareLink"), "individual?id=" + id);
  EXPECT_NE(body.find("url: \"/vote?id=" + id + "&page=1-N-7\",\n"), std::string::npos);

  // An id that names no picture, or no key at all, gets no page (404 from the builder).
  for (const std::string& target : {"/individual?id=" + PictureId("/p/gone.jpg"),
                                    std::string("/individual?id=zz"), std::string("/individual")}) {
    ImagePage page;
    EXPECT_FALSE(MakeImagePage(settings_, orders_, Request(target), kNonce, 0, &page)) << target;
  }
}

TEST_F(ImagePageTest, ThumbnailPageHoldsThePosition) {
  orders_.BuildOrders(ManyImages(250));
  struct Case {
    const char* key;
    const char* view_key;
  } cases[] = {
      {"1-N-0", "T-1-N-0"},   {"1-N-99", "T-1-N-0"},  {"1-N-100", "T-1-N-1"},
      {"1-D-150", "T-1-D-1"}, {"1-N-249", "T-1-N-2"}, {"1-N-250", "T-1-N-0"},
  };
  for (const Case& c : cases) {
    const std::string body =
        Body(Http1Text(Make(std::string("/individual?page=") + c.key).response));
    EXPECT_NE(
        body.find(std::string("<a id = \"ViewPage\" href = \"view?page=") + c.view_key + "\">"),
        std::string::npos)
        << c.key;
  }
}

TEST_F(ImagePageTest, DirectLinkAndSlideShowCarryTheParameters) {
  orders_.BuildOrders(TenImages());
  const std::string body =
      Body(Http1Text(Make("/individual?auto=3&auto-type=1&page=1-N-4").response));
  EXPECT_NE(body.find("<a href = \"image?auto=3&auto-type=1&page=1-N-4-img\" target = "
                      "\"_blank\" rel=\"noopener noreferrer\">"),
            std::string::npos);
  EXPECT_NE(body.find("<a href = \"slideshow?auto=3&auto-type=1&page=1-N-4\">"), std::string::npos);
}

TEST_F(ImagePageTest, ShownName) {
  std::vector<ImageEntry> list = {Entry("/p/a/b.jpg", 1), Entry("/p/c.zip|/d/e.png", 2)};
  PositionList(&list, false);
  orders_.BuildOrders(list);
  const std::string button =
      "<input type = \"button\" id = \"btn1\" value = \"" + ShiftJisPage("いいね") + "\">";
  struct Case {
    uint32_t show_fullpath;
    const char* key;
    const char* name;
  } cases[] = {
      {0, "1-N-0", "&#x62;&#x2E;&#x6A;&#x70;&#x67;"},
      {0, "1-N-1", "&#x65;&#x2E;&#x70;&#x6E;&#x67;"},
      {1, "1-N-0", "&#x2F;&#x70;&#x2F;&#x61;&#x2F;&#x62;&#x2E;&#x6A;&#x70;&#x67;"},
      {0, "1-N-7", ""},  // no image there
  };
  for (const Case& c : cases) {
    settings_.show_fullpath = c.show_fullpath;
    const std::string body =
        Body(Http1Text(Make(std::string("/individual?page=") + c.key).response));
    EXPECT_NE(body.find(button + c.name + "\r\n<P><a id"), std::string::npos) << c.key;
  }
}

TEST_F(ImagePageTest, JapaneseTextIsShiftJis) {
  orders_.BuildOrders(TenImages());
  const std::string body = Body(Http1Text(Make("/individual?page=1-N-0").response));
  // 次の画像 and the alert text of the like script.
  EXPECT_NE(body.find("\x8E\x9F\x82\xCC\x89\xE6\x91\x9C</a>"), std::string::npos);
  EXPECT_NE(body.find("alert(\"\x82\xA2\x82\xA2\x82\xCB\x82\xCC\x91\x97\x90\x4D\x82\xC9\x8E\xB8"
                      "\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\");\n"),
            std::string::npos);
}

TEST_F(ImagePageTest, CraftedParametersCannotInjectMarkup) {
  orders_.BuildOrders(TenImages());
  const char* targets[] = {
      "/individual?page=1\"><script>alert(1)</script>-N-0",
      "/individual?page=1-N-0&x=\"onload'alert(1)'",
      "/individual?page=1-N-0&word=</script><script>alert(1)//",
      "/individual?page=1-N-0&q=a\\\"b`c",
      "/individual?page=1-N-0&<img>=1",
      "/individual?page=1-N-0&raw=\xFF\xFE\x01",
  };
  for (const char* target : targets) {
    ImagePage page = Make(target);
    const std::string body = Body(Http1Text(page.response));
    ASSERT_FALSE(body.empty()) << target;
    // Only the page's own five script elements, and no attribute or string broken open.
    size_t scripts = 0;
    for (size_t at = body.find("<script"); at != std::string::npos;
         at = body.find("<script", at + 1)) {
      ++scripts;
    }
    EXPECT_EQ(scripts, 6u) << target;
    EXPECT_EQ(body.find("<script>alert"), std::string::npos) << target;
    EXPECT_EQ(body.find("\"onload"), std::string::npos) << target;
    EXPECT_EQ(body.find("<img>"), std::string::npos) << target;
    EXPECT_EQ(body.find('\\'), std::string::npos) << target;
    EXPECT_EQ(body.find('`'), std::string::npos) << target;
    EXPECT_EQ(body.find('\xFF'), std::string::npos) << target;
  }
  // What the browser would have sent anyway reads back to the same values.
  const std::string body = Body(Http1Text(Make("/individual?page=1-N-0&auto=<\"'>").response));
  EXPECT_NE(body.find("src=\"image?auto=%3C%22%27%3E&page=1-N-0\""), std::string::npos);
}

TEST_F(ImagePageTest, KeyWithoutThreeFieldsMakesNoPage) {
  orders_.BuildOrders(TenImages());
  for (const char* target :
       {"/individual", "/individual?page=", "/individual?page=1-N", "/individual?page=1-N-0-0",
        "/individual?page=T-1-N-0", "/individual?word=a"}) {
    ImagePage page;
    page.response = HttpResponse("199 untouched").Finish();
    EXPECT_FALSE(MakeImagePage(settings_, orders_, Request(target), kNonce, 0, &page)) << target;
    EXPECT_EQ(Http1Text(page.response), "HTTP/1.1 199 untouched\r\n\r\n");
  }
}

// The like script runs under node against a stand-in for jQuery
// (testdata/like_script_harness.js) that answers its request as each case says.
TEST_F(ImagePageTest, LikeScriptColoursTheButtonByTheAnswer) {
  orders_.BuildOrders(TenImages());
  const std::string body = Body(Http1Text(Make("/individual?page=1-D-2&word=%E7%8C%AB").response));
  const std::string open = "\t<script nonce=\"" + std::string(kNonce) + "\">\r\n";
  const size_t start = body.find(open);
  ASSERT_NE(start, std::string::npos);
  const size_t end = body.find("</script>\n", start);
  ASSERT_NE(end, std::string::npos);
  TestFolder folder;
  const std::string script =
      folder.Write("like.js", body.substr(start + open.size(), end - start - open.size()));

  const std::string request = "url=/vote?page=1-D-2&word=%E7%8C%AB type=GET dataType=json ";
  struct Case {
    const char* mode;
    std::string expected;
  } cases[] = {
      {"success", request + "colours=blue,orange warnings=0 errors=0 alert=\n"},
      {"refused", request + "colours=blue warnings=1 errors=0 alert=\n"},
      {"failed", request + "colours=blue,(none) warnings=0 errors=1 alert=" +
                     ShiftJisPage("いいねの送信に失敗しました。") + "\n"},
  };
  for (const Case& c : cases) {
    const std::string command = "node " LUMENVALE_SOURCE_DIR
                                "/server/pages/testdata/like_script_harness.js '" +
                                script + "' " + c.mode + " > '" + folder.Path("out.txt") + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << folder.Read("out.txt");
    EXPECT_EQ(folder.Read("out.txt"), c.expected) << c.mode;
  }
}

// The handler itself: the job on a pool of its own, responses collected in memory.
class ImagePageProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ImageEntry> list = TenImages(folder_.Root());
    for (const ImageEntry& e : list) {
      std::filesystem::create_directories(std::filesystem::path(e.path.view()).parent_path());
      std::ofstream(e.path.c_str()) << e.path;
    }
    catalogue_.orders().BuildOrders(list);
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(
        std::make_unique<CImagePageProcess>(settings_, catalogue_, access_.files, &pool_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  // Offers the request, then waits for the final response piece.
  std::vector<s_message> Get(const std::string& target) {
    server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      std::vector<s_message> posted = server_.PostedMessages();
      if (!posted.empty() && posted.back().final_flag == 1) return posted;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return server_.PostedMessages();
  }

  TestFolder folder_;
  ServerSettings settings_;
  TestFileAccess access_;
  MySystem::CThreadMgr pool_{2};
  ImageCatalogue catalogue_{&pool_, access_.files};
  ResponseCapture server_;
};

// The page alone: no interim hints, which would have the browser fetch the neighbours'
// pictures beside the shown one.
TEST_F(ImagePageProcessTest, PostsThePageAlone) {
  std::vector<s_message> posted = Get("/individual?page=1-N-0");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].final_flag, 1);
  EXPECT_EQ(posted[0].bytes.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(posted[0].socket, 3);
  EXPECT_EQ(posted[0].connection_id, 1);
  // The page's nonce stands in its policy and its script tags.
  std::smatch nonce;
  ASSERT_TRUE(
      std::regex_search(posted[0].bytes, nonce, std::regex("'nonce-([A-Za-z0-9+/]{22}==)'\r\n")));
  EXPECT_NE(posted[0].bytes.find("<script nonce=\"" + nonce[1].str() + "\">"), std::string::npos);
}

// Pictures sent as stored are read into the file cache ahead; JPEGs, sent in renditions made
// from the file itself, are not.
TEST_F(ImagePageProcessTest, PreReadsTheImageAndItsNeighboursSentAsStored) {
  std::vector<ImageEntry> list = TenImages(folder_.Root());
  for (ImageEntry& e : list) {
    std::string gif(e.path);
    gif.replace(gif.size() - 3, 3, "gif");
    e.path = SharedPath(gif);
    std::ofstream(gif) << gif;
  }
  catalogue_.orders().BuildOrders(list);
  Get("/individual?page=1-N-0");
  // Name positions 0, 1, 9, 2: a0, a1, b4, a2 (two back is 9 as well).
  COmniFileAccess& files = access_.files;
  for (const char* name : {"x/a0.gif", "x/a1.gif", "y/b4.gif", "x/a2.gif"}) {
    const std::string path = folder_.Path(name);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!files.IsCached(path) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(files.IsCached(path)) << name;
  }
  EXPECT_FALSE(files.IsCached(folder_.Path("x/a3.gif")));
  EXPECT_FALSE(files.IsCached(folder_.Path("x/a0.jpg")));
}

TEST_F(ImagePageProcessTest, KeyWithoutThreeFieldsGets404AtOnce) {
  for (const char* target : {"/individual?page=1-N", "/individual"}) {
    std::vector<s_message> posted = Get(target);
    ASSERT_EQ(posted.size(), 1u) << target;
    EXPECT_EQ(posted[0].final_flag, 1);
    EXPECT_EQ(posted[0].bytes.substr(0, 24), "HTTP/1.1 404 Not Found\r\n") << target;
  }
}

// On a real connection the page arrives alone, and a bad key is answered at once.
TEST_F(ImagePageProcessTest, OneConnectionCarriesThePage) {
  CImageServer server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(
      std::make_unique<CImagePageProcess>(settings_, catalogue_, access_.files, &pool_));
  handlers.push_back(std::make_unique<C404rocess>());
  server.SetHandlers(std::move(handlers));
  ASSERT_TRUE(server.Start("0"));
  SteppingThread stepping(&server);

  const std::string received =
      Exchange(server.ListeningPort(), "GET /individual?page=1-N-0 HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(received.substr(0, 17), "HTTP/1.1 200 OK\r\n") << received;
  EXPECT_EQ(received.substr(received.size() - 7), "</html>");

  bool closed = false;
  const int client = ConnectLoopback(server.ListeningPort());
  ASSERT_GE(client, 0);
  ASSERT_TRUE(SendAll(client, "GET /individual?page=1 HTTP/1.1\r\n\r\n"));
  const std::string refused = ReadUntilClosed(client, 5000, &closed);
  CloseClient(client);
  EXPECT_TRUE(closed);
  EXPECT_EQ(refused.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
}

}  // namespace
