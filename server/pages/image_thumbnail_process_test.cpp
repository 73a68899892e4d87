#include "server/pages/image_thumbnail_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <thread>

#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/page_common.h"
#include "server/pages/testing/test_gallery.h"

namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

std::string ReadTestData(const std::string& name) {
  std::ifstream in(LUMENVALE_SOURCE_DIR "/server/pages/testdata/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text of `page` from the opening of its article to the end.
std::string Article(const std::string& page) {
  return page.substr(page.find("<article>"));
}

class ImageThumbnailProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CImageThumbnailProcess>(settings_, gallery_.catalogue(),
                                                                gallery_.files(), &pool_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  std::string Get(const std::string& target) {
    std::string response = server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    // A page is built by a job; a request that names none is answered at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (response.empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      response = server_.Posted();
    }
    return std::regex_replace(response, std::regex("[A-Za-z0-9+/]{22}=="), "NONCE");
  }

  std::string GetWithContext(const std::string& target, const std::vector<UserAccount>& context) {
    s_request request;
    EXPECT_TRUE(request.parse(target));
    std::optional<Response> response = ThumbnailPageResponse(
        settings_, gallery_.catalogue(), gallery_.files(), context, request, "NONCE");
    return response ? Http1Text(*response) : std::string();
  }

  ServerSettings settings_;
  TestGallery gallery_;
  MySystem::CThreadMgr pool_{1};
  ResponseCapture server_;
};

TEST_F(ImageThumbnailProcessTest, WholeResponseForTwelveImages) {
  gallery_.FillNumbered(12);
  settings_.title = "Gallery";
  EXPECT_EQ(Get("/view?page=T-1-N-0&ui=1"), ReadTestData("view_twelve_images.txt"));
}

TEST_F(ImageThumbnailProcessTest, PagesOfAHundredWithWrapAround) {
  gallery_.FillNumbered(250);
  struct Case {
    const char* key;
    size_t thumbnails;
    const char* previous;
    const char* next;
    const char* first_image;  // the first thumbnail's image key
  } cases[] = {
      {"T-1-N-0", 100, "T-1-N-2", "T-1-N-1", "1-N-0"},
      {"T-1-N-1", 100, "T-1-N-0", "T-1-N-2", "1-N-100"},
      {"T-1-N-2", 50, "T-1-N-1", "T-1-N-0", "1-N-200"},
      // Out of range: the last page is shown; the neighbours follow the number as given.
      {"T-1-N-7", 50, "T-1-N-6", "T-1-N-0", "1-N-200"},
      {"T-1-N-99999999999", 50, "T-1-N-2147483646", "T-1-N-0", "1-N-200"},
      {"T-1-N-x", 100, "T-1-N-2", "T-1-N-1", "1-N-0"},  // a non-number reads as 0
  };
  for (const Case& c : cases) {
    const std::string page = Get(std::string("/view?page=") + c.key);
    EXPECT_EQ(Count(page, "<img src="), c.thumbnails) << c.key;
    EXPECT_EQ(Count(page, "<br>\r\n"), c.thumbnails / 10) << c.key;
    EXPECT_TRUE(Contains(
        page, std::string("\t<a id = \"PrevPage\" href = \"view?page=") + c.previous +
                  "\">\r\n\t<a id = \"NextPage\" href = " + "\"view?page=" + c.next + "\">\r\n"))
        << c.key;
    EXPECT_TRUE(Contains(Article(page), std::string("<a href =\"individual?page=") + c.first_image +
                                            "\"><img src=\"image?page=" + c.first_image +
                                            "&shrink=1\"></a>\r\n"))
        << c.key;
  }
}

TEST_F(ImageThumbnailProcessTest, PageNumbersMarkTheRequestedOne) {
  gallery_.FillNumbered(250);
  const std::string links =
      "<a href = \"view?page=T-1-D-0\">0</a>\r\n<a>1</a>\r\n"
      "<a href = \"view?page=T-1-D-2\">2</a>\r\n";
  EXPECT_TRUE(Contains(Get("/view?page=T-1-D-1"), "<nav>" + links));
  // Out of range, no number is the current one.
  EXPECT_TRUE(Contains(Get("/view?page=T-1-D-5"),
                       "<nav><a href = \"view?page=T-1-D-0\">0</a>\r\n"
                       "<a href = \"view?page=T-1-D-1\">1</a>\r\n"
                       "<a href = \"view?page=T-1-D-2\">2</a>\r\n"));
}

// Past a few thousand pictures the navigation names a window of pages, with gap marks for
// the numbers left out, so that the thumbnails do not sit below thousands of page numbers.
TEST_F(ImageThumbnailProcessTest, ManyPagesNameAWindowOfPageNumbers) {
  gallery_.FillNumbered(3050);  // 31 pages
  const std::string gap = "<span>" + ShiftJisPage("…") + "</span>\r\n";
  std::string numbers;
  for (int i : {0, 5, 12, 13, 14, 15, 16, 17, 18, 25, 30}) {
    if (i == 5 || i == 12 || i == 25 || i == 30) numbers += gap;
    numbers += i == 15 ? "<a>15</a>\r\n"
                       : "<a href = \"view?page=T-1-N-" + std::to_string(i) + "\">" +
                             std::to_string(i) + "</a>\r\n";
  }
  const std::string page = Get("/view?page=T-1-N-15");
  EXPECT_TRUE(Contains(page, "<nav>" + numbers + "<a href = \"view?page=T-1-D-0\">"));
  EXPECT_EQ(Count(page, "<img src="), 100u);
}

TEST_F(ImageThumbnailProcessTest, OrderLinksLeaveOutTheCurrentOrder) {
  gallery_.FillNumbered(3);
  const std::vector<std::pair<std::string, std::string>> labels = {
      {"N", ShiftJisPage("名前順")},
      {"D", ShiftJisPage("更新日順")},
      {"F", ShiftJisPage("いいねランキング")},
      {"PN", ShiftJisPage("フォルダ先頭(名前)")},
      {"PD", ShiftJisPage("フォルダ先頭(日付)")},
  };
  for (const auto& [current, current_label] : labels) {
    const std::string page = Get("/view?page=T-7-" + current + "-3&word=img");
    std::string expected;
    for (const auto& [code, label] : labels) {
      if (code != current) {
        expected += "<a href = \"view?page=T-7-" + code + "-0&word=img\">" + label + "</a>\r\n";
      }
    }
    EXPECT_TRUE(Contains(page, expected + "<a href = \"Uploader\">")) << current;
    EXPECT_FALSE(Contains(page, "-" + current + "-0&word=img\">" + current_label)) << current;
  }
}

TEST_F(ImageThumbnailProcessTest, WordStaysInPageLinksButNeverInImageLinks) {
  gallery_.Fill({"cat a.jpg", "dog b.jpg", "cat c.jpg", "cat dog.jpg"});
  const std::string page = Get("/view?page=T-1-N-0&word=cat%20dog");
  EXPECT_TRUE(
      Contains(page, "\t<a id = \"PrevPage\" href = \"view?page=T-1-N-0&word=cat%20dog\">"));
  EXPECT_TRUE(Contains(page, "<a>0</a>\r\n<a href = \"view?page=T-1-D-0&word=cat%20dog\">"));
  // Only "cat dog.jpg" (name position 2) holds both tokens; it is position 0 of the result.
  EXPECT_EQ(Article(page),
            "<article>\r\n"
            "<a href =\"individual?page=1-N-0&word=cat%20dog\">"
            "<img src=\"image?page=1-N-2&shrink=1\"></a>\r\n"
            "</article></body>\r\n");
  // The word is shown in the search box and is no hidden input; the key is.
  EXPECT_TRUE(Contains(page, " <input type=\"search\" name=\"word\" placeholder=\"" +
                                 ShiftJisPage("キーワードを入力") +
                                 "\" value=\"&#x63;&#x61;&#x74;&#x20;&#x64;&#x6F;&#x67;\">\r\n"
                                 " <input type=\"hidden\" name = \"page\" value = \"T-1-N-0\">\r\n"
                                 " <input type=\"submit\" value = \""));
}

TEST_F(ImageThumbnailProcessTest, HiddenInputCarriesOnlyThePage) {
  gallery_.FillNumbered(1);
  const std::string page = Get("/view?ui=1&page=T-1-N-0&submit=x&a=%41");
  EXPECT_TRUE(Contains(page,
                       "\">\r\n"
                       " <input type=\"hidden\" name = \"page\" value = \"T-1-N-0\">\r\n"
                       " <input type=\"submit\""));
  // Neither the links nor the form take along what the page does not read.
  EXPECT_FALSE(Contains(page, "ui="));
  EXPECT_FALSE(Contains(page, "%41"));
}

TEST_F(ImageThumbnailProcessTest, OpenNewTab) {
  gallery_.FillNumbered(2);
  for (uint32_t open_new_tab : {0u, 1u, 2u}) {
    settings_.open_new_tab = open_new_tab;
    const std::string page = Get("/view?page=T-1-N-0");
    EXPECT_EQ(Count(page, "\" target=\"_blank\" rel=\"noopener noreferrer\"><img src="),
              open_new_tab == 1 ? 2u : 0u)
        << open_new_tab;
  }
}

TEST_F(ImageThumbnailProcessTest, FolderTopsCanOpenTheirImageInTheWholeOrder) {
  // Folder x holds a.jpg (newest) and b.jpg; folder y holds c.jpg (oldest).
  gallery_.Fill({"y/c.jpg", "x/b.jpg", "x/a.jpg"});
  struct Case {
    uint32_t option;
    const char* key;
    const char* expected_article;
  } cases[] = {
      // The folders-first pages name each folder under its thumbnail (and in its alt text).
      {0, "T-1-PN-0",
       "<a href =\"individual?page=1-PN-0&word=jpg\" class=\"folder\"><img "
       "src=\"image?page=1-N-0&shrink=1\" alt=\"&#x78;\" "
       "title=\"&#x78;\"><span>&#x78;</span></a>\r\n"
       "<a href =\"individual?page=1-PN-1&word=jpg\" class=\"folder\"><img "
       "src=\"image?page=1-N-2&shrink=1\" alt=\"&#x79;\" "
       "title=\"&#x79;\"><span>&#x79;</span></a>\r\n"},
      {1, "T-1-PN-0",
       "<a href =\"individual?page=1-N-0\" class=\"folder\"><img src=\"image?page=1-N-0&shrink=1\" "
       "alt=\"&#x78;\" title=\"&#x78;\"><span>&#x78;</span></a>\r\n"
       "<a href =\"individual?page=1-N-2\" class=\"folder\"><img src=\"image?page=1-N-2&shrink=1\" "
       "alt=\"&#x79;\" title=\"&#x79;\"><span>&#x79;</span></a>\r\n"},
      {1, "T-1-PD-0",
       "<a href =\"individual?page=1-D-1\" class=\"folder\"><img src=\"image?page=1-N-1&shrink=1\" "
       "alt=\"&#x78;\" title=\"&#x78;\"><span>&#x78;</span></a>\r\n"
       "<a href =\"individual?page=1-D-0\" class=\"folder\"><img src=\"image?page=1-N-2&shrink=1\" "
       "alt=\"&#x79;\" title=\"&#x79;\"><span>&#x79;</span></a>\r\n"},
      {1, "T-1-N-0",
       "<a href =\"individual?page=1-N-0&word=jpg\"><img src=\"image?page=1-N-0&shrink=1\"></a>\r\n"
       "<a href =\"individual?page=1-N-1&word=jpg\"><img src=\"image?page=1-N-1&shrink=1\"></a>\r\n"
       "<a href =\"individual?page=1-N-2&word=jpg\"><img "
       "src=\"image?page=1-N-2&shrink=1\"></a>\r\n"},
  };
  for (const Case& c : cases) {
    settings_.open_name_thumbnail_folder = c.option;
    EXPECT_EQ(Article(Get(std::string("/view?page=") + c.key + "&word=jpg")),
              std::string("<article>\r\n") + c.expected_article + "</article></body>\r\n")
        << c.option << " " << c.key;
  }
}

// A folder's name is the last part of its path; it is written as entities whatever it holds.
TEST_F(ImageThumbnailProcessTest, FolderNamesOfNestedFolders) {
  gallery_.Fill({"trips/<2024>/a.jpg", "trips/b.jpg", "c.jpg"});
  const std::string article = Article(Get("/view?page=T-1-PN-0"));
  for (const char* name : {"<2024>", "trips"}) {
    std::string escaped;
    for (const char* p = name; *p != '\0'; ++p) {
      char entity[16];
      std::snprintf(entity, sizeof entity, "&#x%X;", static_cast<unsigned char>(*p));
      escaped += entity;
    }
    EXPECT_NE(article.find("<span>" + escaped + "</span>"), std::string::npos) << name;
  }
  EXPECT_EQ(article.find("<2024>"), std::string::npos);
  EXPECT_EQ(Count(article, "<span>"), 3u);  // the gallery's own folder too
}

TEST_F(ImageThumbnailProcessTest, EmptyResultSaysSo) {
  gallery_.FillNumbered(5);
  const std::string page = Get("/view?page=T-1-N-0&word=nothing");
  EXPECT_EQ(Article(page), "<article>\r\n" + ShiftJisPage("ファイルが見つかりませんでした。") +
                               "</article></body>\r\n");
  EXPECT_TRUE(Contains(page,
                       "\t<a id = \"PrevPage\" href = \"view?page=T-1-N-0&word=nothing\">"
                       "\r\n\t<a id = \"NextPage\" href = \"view?page=T-1-N-0&word=nothing\">"
                       "\r\n<nav><a href = \"view?page=T-1-D-0&word=nothing\">"));
}

TEST_F(ImageThumbnailProcessTest, VanishedFilesAreLeftOutAndNotCounted) {
  gallery_.FillNumbered(12);
  std::filesystem::remove(gallery_.Path("img003.jpg"));
  std::filesystem::remove(gallery_.Path("img004.jpg"));
  const std::string article = Article(Get("/view?page=T-1-N-0"));
  EXPECT_EQ(Count(article, "<img src="), 10u);
  EXPECT_FALSE(Contains(article, "1-N-3"));
  // The tenth thumbnail written (position 11) closes the line.
  EXPECT_TRUE(Contains(article, "image?page=1-N-11&shrink=1\"></a>\r\n<br>\r\n</article>"));
}

TEST_F(ImageThumbnailProcessTest, TitleIsWrittenAsEntities) {
  gallery_.FillNumbered(1);
  settings_.title = "a<b";
  EXPECT_TRUE(Contains(Get("/view?page=T-1-N-0"), "<title>&#x61;&#x3C;&#x62;</title>\r\n"));
}

TEST_F(ImageThumbnailProcessTest, OtherKeysAreNotAnswered) {
  gallery_.FillNumbered(1);
  for (const char* target : {"/view", "/view?page=T-1-N", "/view?page=1-N-0", "/view?page=X-1-N-0",
                             "/view?page=T-1-N-0-0", "/view?word=a"}) {
    EXPECT_EQ(Get(target).substr(0, 24), "HTTP/1.1 404 Not Found\r\n") << target;
  }
}

TEST_F(ImageThumbnailProcessTest, UploaderLinkFollowsTheUsersRights) {
  gallery_.FillNumbered(1);
  const UserAccount uploader{"u", "h", 1, {}}, viewer{"v", "h", 0, {}};
  struct Case {
    int32_t need_user;
    bool users_configured;
    std::vector<UserAccount> context;
    bool shown;
  } cases[] = {
      {0, false, {}, true},
      {0, true, {viewer}, true},
      {1, true, {uploader}, true},
      {1, true, {viewer, uploader}, false},  // the first account decides
      {1, true, {}, false},
      {1, false, {uploader}, false},
  };
  for (const Case& c : cases) {
    settings_.need_user = c.need_user;
    settings_.users.clear();
    if (c.users_configured) settings_.users = {uploader, viewer};
    const std::string page = GetWithContext("/view?page=T-1-N-0", c.context);
    EXPECT_EQ(Contains(page, "<a href = \"Uploader\">" + ShiftJisPage("アップロード") + "</a>\r\n"),
              c.shown)
        << c.need_user << " " << c.users_configured << " " << c.context.size();
  }
}

TEST_F(ImageThumbnailProcessTest, RequestValuesCannotOpenMarkup) {
  gallery_.FillNumbered(1);
  const std::string page =
      Get("/view?page=T-\"><script>-N-0\"><b>&x\"><i>=\"><script>&word=%22%3E%3Cscript%3E");
  EXPECT_FALSE(Contains(page, "<script>"));
  EXPECT_FALSE(Contains(page, "<b>"));
  EXPECT_FALSE(Contains(page, "<i>"));
  // Links percent-encode what could close the attribute, as a browser would have sent it.
  EXPECT_TRUE(Contains(page,
                       "<a href = \"view?page=T-%22%3E%3Cscript%3E-D-0"
                       "&word=%22%3E%3Cscript%3E\">"));
  // Input values are submitted again as they are, so they are written as entities instead.
  EXPECT_TRUE(Contains(page,
                       " <input type=\"hidden\" name = \"page\" value = \"T-&quot;&gt;"
                       "&lt;script&gt;-N-0&quot;&gt;&lt;b&gt;\">\r\n"));
  // The word is shown as entities only.
  EXPECT_TRUE(Contains(page, "value=\"&#x22;&#x3E;&#x3C;&#x73;"));
}

TEST_F(ImageThumbnailProcessTest, BytesWithoutAShiftJisFormStillGiveThePage) {
  gallery_.FillNumbered(1);
  const std::string page = Get("/view?page=T-1-N-0&word=\xF0\x9F\x98\x80\xFF");
  EXPECT_TRUE(Contains(page, "href = \"view?page=T-1-N-0&word=%F0%9F%98%80%FF\">"));
  EXPECT_TRUE(Contains(page, ShiftJisPage("更新日順")));
}

}  // namespace
