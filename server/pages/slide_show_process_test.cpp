#include "server/pages/slide_show_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "platform/testing/test_folder.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/page_common.h"

namespace {

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

std::string ReadTestData(const std::string& name) {
  std::ifstream in(LUMENVALE_SOURCE_DIR "/server/pages/testdata/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SlideShowProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CSlideShowProcess>(settings_));
    server_.SetHandlers(std::move(handlers));
  }

  std::string Get(const std::string& target) {
    std::string response = server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    return std::regex_replace(response, std::regex("[A-Za-z0-9+/]{22}=="), "NONCE");
  }

  ServerSettings settings_;
  ResponseCapture server_;
};

TEST_F(SlideShowProcessTest, WholeResponse) {
  settings_.title = "Gallery";
  EXPECT_EQ(Get("/slideshow?page=1-N-37&word=%E7%8C%AB&interval=2"),
            ReadTestData("slideshow_page.txt"));
}

TEST_F(SlideShowProcessTest, LinksCarryThePagesParametersInNameOrder) {
  const std::string page = Get("/slideshow?word=cat&page=1-PD-3&interval=5&ui=1");
  EXPECT_TRUE(Contains(page, "\t$.ajax({url: 'next_url?interval=5&page=1-PD-3&word=cat', type: 'GET'"));
  EXPECT_TRUE(Contains(page,
                       "<img class=\"fitImg\" id = \"main\" "
                       "src=\"image?interval=5&page=1-PD-3&word=cat\" srcset=\""
                       "image?interval=5&page=1-PD-3&width=640&word=cat 640w, "));
}

// The tray menu and the start line offer the bare "/slideshow": without an image key the
// page's script would ask for "image?page=null-N" for ever. Such a request goes to the show
// of all pictures, with its other parameters.
TEST_F(SlideShowProcessTest, WithoutUsableKeyGoesToAllPictures) {
  struct Case {
    std::string target;
    std::string location;
  };
  const Case cases[] = {
      {"/slideshow", "/slideshow?page=1-N-0"},
      {"/slideshow?interval=3", "/slideshow?interval=3&page=1-N-0"},
      {"/slideshow?page=T-1-D-0&word=cat", "/slideshow?page=1-N-0&word=cat"},
      {"/slideshow?page=null-N", "/slideshow?page=1-N-0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Get(c.target),
              "HTTP/1.1 302 Found\r\n"
              "Cache-Control: max-age=0\r\n"
              "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
              "Content-Length: 0\r\n"
              "Connection: Close\r\n"
              "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
              "Location: " +
                  c.location +
                  "\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n")
        << c.target;
  }
}

TEST_F(SlideShowProcessTest, TitleIsWrittenAsEntities) {
  settings_.title = "<";
  EXPECT_TRUE(Contains(Get("/slideshow?page=1-N-0"),
                       "<title>&#x3C;&#x20;&#x2D;&#x20;&#x53;&#x6C;&#x69;&#x64;&#x65;&#x20;&#x53;"
                       "&#x68;&#x6F;&#x77;&#x20;&#x4D;&#x6F;&#x64;&#x65;</title>\r\n</head>\r\n"));
}

TEST_F(SlideShowProcessTest, RequestValuesCannotLeaveTheScriptStringOrTheAttribute) {
  const std::string page =
      Get("/slideshow?page=1-N-0'</script><script>alert(1)//&interval=\"><b>\\'`\x01\xE7");
  EXPECT_FALSE(Contains(page, "<script>"));
  EXPECT_FALSE(Contains(page, "<b>"));
  EXPECT_EQ(std::regex_replace(page, std::regex("</script>"), "").find("</script"),
            std::string::npos);
  const std::string query =
      "interval=%22%3E%3Cb%3E%5C%27%60%01%E7&page=1-N-0%27%3C/script%3E%3Cscript%3Ealert(1)//";
  EXPECT_TRUE(Contains(page, "\t$.ajax({url: 'next_url?" + query + "', type: 'GET'"));
  EXPECT_TRUE(Contains(page, "src=\"image?" + query + "\" srcset="));
  const std::string rendition_query =
      "interval=%22%3E%3Cb%3E%5C%27%60%01%E7&page=1-N-0%27%3C/script%3E%3Cscript%3Ealert(1)//"
      "&width=640";
  EXPECT_TRUE(Contains(page, "srcset=\"image?" + rendition_query + " 640w, "));
}

TEST_F(SlideShowProcessTest, ScriptsCarryTheNonceOfThePolicy) {
  const std::string response = server_.Dispatch("GET /slideshow?page=1-N-0 HTTP/1.1\r\n\r\n");
  std::smatch policy;
  ASSERT_TRUE(std::regex_search(response, policy, std::regex("'nonce-([A-Za-z0-9+/]{22}==)'")));
  const std::string tag = "<script nonce=\"" + policy[1].str() + "\"";
  size_t tags = 0;
  for (size_t at = response.find("<script"); at != std::string::npos;
       at = response.find("<script", at + 1)) {
    EXPECT_EQ(response.compare(at, tag.size(), tag), 0) << response.substr(at, 60);
    ++tags;
  }
  EXPECT_EQ(tags, 5u);
}

// Runs the page's inline scripts under node with a stand-in for jQuery and the page
// (testdata/slide_show_harness.js); one output line per step.
class SlideShowScriptTest : public SlideShowProcessTest {
 protected:
  std::vector<std::string> Run(const std::string& query, const std::string& steps_json) {
    const std::string page = Get("/slideshow" + query);
    std::string scripts;
    const std::string open = "<script nonce=\"NONCE\">\r\n";
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at)) {
      at += open.size();
      scripts += page.substr(at, page.find("</script>", at) - at);
    }
    const std::string script_path = folder_.Write("scripts.js", scripts);
    const std::string command = "node " LUMENVALE_SOURCE_DIR
                                "/server/pages/testdata/slide_show_harness.js '" +
                                script_path + "' '" + query + "' '" + steps_json + "' > '" +
                                folder_.Path("out.txt") + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << folder_.Read("out.txt");
    std::vector<std::string> lines;
    std::istringstream out(folder_.Read("out.txt"));
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    return lines;
  }

  TestFolder folder_;
};

TEST_F(SlideShowScriptTest, ShowsEveryImageOnceInRandomOrderThenReshuffles) {
  const std::vector<std::string> lines =
      Run("?page=1-PN-37&interval=2&word=%E7%8C%AB",
          R"(["ready", ["reply", {"state":"success","ImageURL":"3"}], "tick", "load", "tick",)"
          R"( "load", "tick", "load"])");
  ASSERT_EQ(lines.size(), 8u);
  // The interval of the query starts the timer and the slider; the first reply reshuffles.
  EXPECT_EQ(lines[0], "src= index=0 size=0 max=1 timer=2000 slider=2/2 log=");
  EXPECT_EQ(lines[1], "src= index=0 size=3 max=3 timer=2000 slider=2/2 log=");
  std::set<std::string> shown;
  // Each picture is asked for in the width the screen takes.
  const std::regex tick(
      "src=image\\?page=1-PN-([0-2])&width=1170&word=%E7%8C%AB index=([0-2]) size=3 .*");
  for (int i = 0; i < 3; ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[2 + 2 * i], match, tick)) << lines[2 + 2 * i];
    EXPECT_EQ(match[2].str(), std::to_string(i));
    shown.insert(match[1].str());
    // Each load advances once; the last one starts a new round.
    EXPECT_NE(lines[3 + 2 * i].find(" index=" + std::to_string(i == 2 ? 0 : i + 1) + " size=3"),
              std::string::npos)
        << lines[3 + 2 * i];
  }
  EXPECT_EQ(shown, (std::set<std::string>{"0", "1", "2"}));
}

TEST_F(SlideShowScriptTest, RepliesReshuffleOnlyWhenTheCountChanges) {
  const std::vector<std::string> lines =
      Run("?page=1-N-0", R"(["ready", ["reply", {"ImageURL":"4"}], "tick", "load",)"
                         R"( "minute", ["reply", {"ImageURL":"4"}], "minute", ["reply", null],)"
                         R"( "minute", ["reply", {}], "minute", ["reply", {"ImageURL":"9"}]])");
  ASSERT_EQ(lines.size(), 12u);
  for (int i : {3, 5, 7, 9}) {
    EXPECT_NE(lines[i].find(" index=1 size=4 max=4 "), std::string::npos) << lines[i];
  }
  EXPECT_NE(lines[11].find(" index=0 size=9 max=9 "), std::string::npos) << lines[11];
}

TEST_F(SlideShowScriptTest, AnEmptyCatalogueAsksForTheKeyNull) {
  const std::vector<std::string> lines =
      Run("?page=1-D-0", R"(["ready", ["reply", {"ImageURL":"0"}], "tick", "load", "tick"])");
  ASSERT_EQ(lines.size(), 5u);
  for (int i : {2, 4}) {
    EXPECT_EQ(lines[i].substr(0, 58), "src=image?page=null&width=1170 index=0 size=0 max=0 timer=")
        << lines[i];
    EXPECT_NE(lines[i].find(" log=currentIndex"), std::string::npos) << lines[i];
  }
}

TEST_F(SlideShowScriptTest, TheSliderSetsTheInterval) {
  struct Case {
    const char* query;
    const char* after_ready;
  } cases[] = {
      {"?page=1-N-0", "timer=5000 slider=5/5"},
      {"?page=1-N-0&interval=60", "timer=60000 slider=60/60"},
      // An interval that is no positive number would run the timer without pause.
      {"?page=1-N-0&interval=0", "timer=5000 slider=5/5"},
      {"?page=1-N-0&interval=abc", "timer=5000 slider=5/5"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines = Run(c.query, R"(["ready", ["slide", 7]])");
    ASSERT_EQ(lines.size(), 2u) << c.query;
    EXPECT_NE(lines[0].find(c.after_ready), std::string::npos) << c.query << ": " << lines[0];
    EXPECT_NE(lines[1].find("timer=7000 slider=7/7"), std::string::npos) << lines[1];
  }
}

TEST_F(SlideShowScriptTest, TheFadesFitIntoShortIntervals) {
  // At full length the fades take 1.4 s; a shorter interval would skip every other picture.
  struct Case {
    const char* query;
    const char* tick;
    const char* load;
  } cases[] = {
      {"?page=1-N-0", " fades=out 1000", " fades=in 400"},
      {"?page=1-N-0&interval=2", " fades=out 1000", " fades=in 400"},
      {"?page=1-N-0&interval=1", " fades=out 500", " fades=in 200"},
      {"?page=1-N-0&interval=1.5", " fades=out 750", " fades=in 300"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines =
        Run(c.query, R"(["ready", ["reply", {"ImageURL":"3"}], "tick", "load"])");
    ASSERT_EQ(lines.size(), 4u) << c.query;
    EXPECT_TRUE(lines[2].ends_with(c.tick)) << c.query << ": " << lines[2];
    EXPECT_TRUE(lines[3].ends_with(c.load)) << c.query << ": " << lines[3];
  }
  // The slider's interval counts from the next picture on.
  const std::vector<std::string> lines =
      Run("?page=1-N-0", R"(["ready", ["reply", {"ImageURL":"3"}], ["slide", 1], "tick", "load"])");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[3].ends_with(" fades=out 500")) << lines[3];
  EXPECT_TRUE(lines[4].ends_with(" fades=in 200")) << lines[4];
}

}  // namespace
