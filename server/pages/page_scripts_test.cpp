#include "server/pages/page_scripts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "server/pages/embedded_resources.h"

namespace {

// The arrow signs of the case comments in Shift-JIS.
const std::string kRight = "\x81\xA8", kLeft = "\x81\xA9", kUp = "\x81\xAA";

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// Every line ends "\r\n": no lone CR or LF anywhere, and the text ends with a line end.
bool AllLinesEndCrLf(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
}

TEST(PageScriptsTest, EveryLineEndsCrLf) {
  for (const std::string* script :
       {&ImagePageScript(), &ImagePageMoveScript(), &ImageThumbnailPageMoveByKeyScript(),
        &ImageThumbnailPageMoveByTouchScript()}) {
    EXPECT_TRUE(AllLinesEndCrLf(*script)) << *script;
  }
}

TEST(PageScriptsTest, ThumbnailKeysHoldTheQuotedLines) {
  const std::string& script = ImageThumbnailPageMoveByKeyScript();
  EXPECT_EQ(Count(script, "\nif(e.altKey==false){\r\n"), 2u);
  EXPECT_EQ(Count(script, "\n\t\tswitch (e.which){\r\n"), 2u);
  const std::string next = "\n\t\t\t\twindow.location.href = $('#NextPage').attr('href')";
  const std::string prev = "\n\t\t\t\twindow.location.href = $('#PrevPage').attr('href')";
  for (const std::string& piece : {"\n\t\tcase 39: // Key[" + kRight + "]\r\n" + next.substr(1),
                                   "\n\t\tcase 37: // Key[" + kLeft + "]\r\n" + prev.substr(1)}) {
    EXPECT_EQ(Count(script, piece), 1u) << piece;
  }
  EXPECT_EQ(Count(script, "\n\t\tcase 227: // Key["), 1u);
  EXPECT_EQ(Count(script, "\n\t\tcase 228: // Key["), 1u);
  EXPECT_EQ(Count(script, "\n\t\tcase "), 4u);
  EXPECT_EQ(Count(script, "\n\t\t\tbreak; \r\n"), 4u);
  EXPECT_EQ(Count(script, next), 2u);
  EXPECT_EQ(Count(script, prev), 2u);
  EXPECT_EQ(Count(script, "preventDefault"), 0u);
}

TEST(PageScriptsTest, ImagePageKeysPreventTheDefaultInEveryCase) {
  const std::string& script = ImagePageMoveScript();
  EXPECT_EQ(Count(script, "\nif(e.altKey==false){\r\n"), 2u);
  EXPECT_EQ(Count(script, "\n\t\tswitch (e.which){\r\n"), 2u);
  EXPECT_EQ(Count(script, "\n\t\tcase 39: // Key[" + kRight + "]\r\n"), 1u);
  EXPECT_EQ(Count(script, "\n\t\tcase 37: // Key[" + kLeft + "]\r\n"), 1u);
  EXPECT_EQ(Count(script, "\n\t\tcase 38: // Key[" + kUp + "]\r\n"), 1u);
  EXPECT_EQ(Count(script, "\n\t\tcase "), 5u);
  EXPECT_EQ(Count(script, "\ne.preventDefault()\r\n\t\t\tbreak; \r\n"), 5u);
  EXPECT_EQ(Count(script, "\n\t\t\tbreak; \r\n"), 5u);
  // Moves take the place of the shown picture in the history, keys and swipes alike.
  EXPECT_EQ(Count(script, "\n\t\t\t\twindow.location.replace($('#RandomPage').attr('href'))"), 1u);
  EXPECT_EQ(Count(script, "window.location.replace("), 8u);
  EXPECT_EQ(Count(script, "window.location.href"), 0u);
}

TEST(PageScriptsTest, SwipesHoldTheQuotedTests) {
  for (const std::string* script :
       {&ImageThumbnailPageMoveByTouchScript(), &ImagePageMoveScript()}) {
    EXPECT_EQ(Count(*script, "if (positionXo - positionX > 40)"), 1u);
    EXPECT_EQ(Count(*script, "else if (positionXo - positionX < -40)"), 1u);
  }
}

// Runs the scripts under node with a stand-in for jQuery and the page
// (testdata/script_harness.js), replaying key presses, swipes and clicks.
class ScriptBehaviourTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("lv_page_scripts_" + std::to_string(random()) + std::to_string(random()));
    ASSERT_TRUE(std::filesystem::create_directory(folder_));
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // One output line of the harness per case.
  std::string Run(std::string_view script, const std::string& cases_json) {
    Write("script.js", std::string(script));
    Write("cases.json", cases_json);
    std::string command =
        "node " LUMENVALE_SOURCE_DIR "/server/pages/testdata/script_harness.js '" +
        (folder_ / "script.js").string() + "' '" + (folder_ / "cases.json").string() + "' > '" +
        (folder_ / "out.txt").string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << Read("out.txt");
    return Read("out.txt");
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder_;
};

// A key event step; `alt` tells whether Alt is held.
std::string Key(const char* handler, int which, bool alt = false) {
  return std::string("[\"") + handler + "\",{\"which\":" + std::to_string(which) +
         ",\"altKey\":" + (alt ? "true" : "false") + "}]";
}

// A touch step with the given finger positions.
std::string Touch(const char* event, std::initializer_list<std::pair<int, int>> fingers) {
  std::string touches;
  for (auto [x, y] : fingers) {
    if (!touches.empty()) touches += ",";
    touches += "{\"pageX\":" + std::to_string(x) + ",\"pageY\":" + std::to_string(y) + "}";
  }
  return std::string("[\"article:") + event + "\",{\"originalEvent\":{\"touches\":[" + touches +
         "]}}]";
}

std::string Swipe(int dx, int dy) {
  return "[" + Touch("touchstart", {{200, 200}}) + "," +
         Touch("touchmove", {{200 + dx, 200 + dy}}) + "," + Touch("touchend", {}) + "]";
}

const char* kUntouched = " header=HideDefault css=\n";

TEST_F(ScriptBehaviourTest, ThumbnailKeys) {
  std::string cases = "[[" + Key("document:keydown", 39) + "],[" + Key("document:keydown", 37) +
                      "],[" + Key("document:keydown", 38) + "],[" +
                      Key("document:keydown", 39, true) + "],[" + Key("window:keyup", 227) + "],[" +
                      Key("window:keyup", 228) + "],[" + Key("window:keyup", 228, true) + "],[" +
                      Key("window:keyup", 39) + "]]";
  EXPECT_EQ(Run(ImageThumbnailPageMoveByKeyScript(), cases),
            std::string("href=next prevented=0") + kUntouched + "href=prev prevented=0" +
                kUntouched + "href= prevented=0" + kUntouched + "href= prevented=0" + kUntouched +
                "href=next prevented=0" + kUntouched + "href=prev prevented=0" + kUntouched +
                "href= prevented=0" + kUntouched + "href= prevented=0" + kUntouched);
}

TEST_F(ScriptBehaviourTest, ImagePageKeys) {
  std::string cases = "[[" + Key("document:keydown", 39) + "],[" + Key("document:keydown", 37) +
                      "],[" + Key("document:keydown", 38) + "],[" + Key("document:keydown", 40) +
                      "],[" + Key("document:keydown", 38, true) + "],[" + Key("window:keyup", 227) +
                      "],[" + Key("window:keyup", 228) + "]]";
  EXPECT_EQ(Run(ImagePageMoveScript(), cases),
            std::string("href=next prevented=1") + kUntouched + "href=prev prevented=1" +
                kUntouched + "href=random prevented=1" + kUntouched + "href= prevented=0" +
                kUntouched + "href= prevented=0" + kUntouched + "href=next prevented=1" +
                kUntouched + "href=prev prevented=1" + kUntouched);
}

// A key event step whose target is an element of `tag` (and `type` for an input).
std::string KeyIn(const char* handler, int which, const char* tag, const char* type = "") {
  return std::string("[\"") + handler + "\",{\"which\":" + std::to_string(which) +
         ",\"altKey\":false,\"target\":{\"tagName\":\"" + tag + "\",\"type\":\"" + type + "\"}}]";
}

// Arrows typed into the search box (or any field that takes text) move the caret there; they
// must not leave the page with what was typed. Buttons and check boxes take no text: the
// like button keeps the focus after a click, and the arrows still turn the pictures then.
TEST_F(ScriptBehaviourTest, KeysInTextFieldsAreLeftToTheField) {
  struct Case {
    const std::string& (*script)();
    int prevented;  // the page's own handling of an arrow
  };
  for (const Case& c :
       {Case{&ImageThumbnailPageMoveByKeyScript, 0}, Case{&ImagePageMoveScript, 1}}) {
    const std::string cases = "[[" + KeyIn("document:keydown", 37, "INPUT", "search") + "],[" +
                              KeyIn("document:keydown", 39, "INPUT", "text") + "],[" +
                              KeyIn("document:keydown", 39, "TEXTAREA") + "],[" +
                              KeyIn("window:keyup", 227, "INPUT", "search") + "],[" +
                              KeyIn("document:keydown", 39, "INPUT", "range") + "],[" +
                              KeyIn("document:keydown", 39, "INPUT", "button") + "],[" +
                              KeyIn("document:keydown", 37, "BODY") + "]]";
    const std::string moved = " prevented=" + std::to_string(c.prevented) + kUntouched;
    EXPECT_EQ(Run(c.script(), cases),
              std::string("href= prevented=0") + kUntouched + "href= prevented=0" + kUntouched +
                  "href= prevented=0" + kUntouched + "href= prevented=0" + kUntouched +
                  "href= prevented=0" + kUntouched + "href=next" + moved + "href=prev" + moved);
  }
}

TEST_F(ScriptBehaviourTest, Swipes) {
  struct Case {
    std::string steps;
    const char* thumbnail;  // where the thumbnail page goes
    const char* image;      // where the image page goes
  } cases[] = {
      {Swipe(-41, 0), "next", "next"},  // to the left
      {Swipe(41, 19), "prev", "prev"},  // to the right, drift below 20
      {Swipe(-40, 0), "", ""},          // not beyond 40
      {Swipe(-80, 20), "", ""},         // drifted 20
      {Swipe(0, -41), "", "random"},    // upwards
      {Swipe(-19, -60), "", "random"},  // upwards, drift below 20
      {Swipe(0, 80), "", ""},           // downwards does nothing
      {Swipe(10, -80), "", "random"},
      {"[" + Touch("touchstart", {{200, 200}, {300, 200}}) + "," +
           Touch("touchmove", {{100, 200}}) + "," + Touch("touchend", {}) + "]",
       "", ""},  // began with two fingers
      {"[" + Touch("touchstart", {{200, 200}}) + "," +
           Touch("touchmove", {{100, 200}, {300, 200}}) + "," + Touch("touchend", {}) + "]",
       "", ""},  // a second finger came
      {"[" + Touch("touchstart", {{200, 200}}) + "," + Touch("touchmove", {{100, 200}}) + "," +
           Touch("touchstart", {{200, 200}}) + "," + Touch("touchend", {}) + "]",
       "", ""},  // a new touch clears the direction
  };
  std::string all;
  std::string thumbnail_expected, image_expected;
  for (const Case& c : cases) {
    all += (all.empty() ? "[" : ",") + c.steps;
    thumbnail_expected += std::string("href=") + c.thumbnail + " prevented=0" + kUntouched;
    image_expected += std::string("href=") + c.image + " prevented=0" + kUntouched;
  }
  all += "]";
  EXPECT_EQ(Run(ImageThumbnailPageMoveByTouchScript(), all), thumbnail_expected);
  EXPECT_EQ(Run(ImagePageMoveScript(), all), image_expected);
}

TEST_F(ScriptBehaviourTest, PictureFitsTheWindow) {
  // The harness window is 1000 x 600. A picture of 4000 x 2000 is scaled by 0.25 to
  // 1000 x 500, centred 50 px from the top; one of 400 x 200, smaller than the window, keeps
  // its own size, centred.
  const std::string large = "[\"image:size\",{\"naturalWidth\":4000,\"naturalHeight\":2000}]";
  EXPECT_EQ(Run(ImagePageScript(), "[[" + large + ",[\"window:load\",{}]],[" + large +
                                       ",[\"window:resize\",{}]],[[\"window:load\",{}]]]"),
            std::string() +
                "href= prevented=0 header=HideDefault css=height:500px,left:0px,"
                "position:absolute,top:50px,visibility:visible,width:1000px\n"
                "href= prevented=0 header=HideDefault css=height:500px,left:0px,"
                "position:absolute,top:50px,visibility:visible,width:1000px\n"
                "href= prevented=0 header=HideDefault css=height:200px,left:300px,"
                "position:absolute,top:200px,visibility:visible,width:400px\n");
}

TEST_F(ScriptBehaviourTest, DoubleClickTogglesTheHeader) {
  const std::string click = "[\".fitImg:dblclick\",{}]";
  std::string cases =
      "[[" + click + "],[" + click + "," + click + "],[" + click + "," + click + "," + click + "]]";
  EXPECT_EQ(Run(embedded::ImagePageUiJs(), cases),
            "href= prevented=0 header=DownMove css=\n"
            "href= prevented=0 header=UpMove css=\n"
            "href= prevented=0 header=DownMove css=\n");
}

}  // namespace
