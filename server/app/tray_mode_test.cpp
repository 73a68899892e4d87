// The tray: its menu through QMenu directly, then the real server's icon in Xvfb, with trayer
// as the system tray, xdotool as the user's mouse and keyboard, and xdg-open replaced by a
// stub that records what it was asked to open.
#include "server/app/tray_mode.h"

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/local_address.h"
#include "platform/tcp_socket.h"
#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/net/testing/loopback_test_util.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif
#ifndef E2E_OUTPUT
#error "E2E_OUTPUT must name the folder for screenshots"
#endif

namespace {

TEST(TrayMenuWidgetTest, EntriesInOrderEachOpeningItsAddressThenExit) {
  int argc = 3;
  char name[] = "tray_test", option[] = "-platform", platform_name[] = "offscreen";
  char* argv[] = {name, option, platform_name, nullptr};
  QApplication app(argc, argv);
  QMenu menu;
  std::vector<std::string> opened;
  int quits = 0;
  std::string public_address;  // none until the gateway maps the port
  FillTrayMenu(
      &menu, [] { return std::string("http://192.0.2.9:8080"); },
      [&] { return public_address; }, [&](const std::string& url) { opened.push_back(url); },
      [&] { ++quits; });

  // The entries shown, each triggered once.
  const auto shown = [&menu] {
    std::vector<std::string> texts;
    for (QAction* action : menu.actions()) {
      if (!action->isVisible()) continue;
      texts.push_back(action->isSeparator() ? "---" : action->text().toStdString());
      action->trigger();
    }
    return texts;
  };
  EXPECT_EQ(shown(), (std::vector<std::string>{
                         "メイン画面を表示(&V)", "スライドショー開始(全ファイル)(&S)",
                         "アップローダを開く(&U)", "ステータス情報を開く(&T)", "---", "終了(&X)"}));
  EXPECT_EQ(opened, (std::vector<std::string>{
                        "http://192.0.2.9:8080", "http://192.0.2.9:8080/slideshow",
                        "http://192.0.2.9:8080/Uploader", "http://192.0.2.9:8080/info"}));
  EXPECT_EQ(quits, 1);

  // Once the port is mapped, the menu shows the public address the next time it opens.
  public_address = "https://203.0.113.7:8443";
  opened.clear();
  emit menu.aboutToShow();
  const std::vector<std::string> texts = shown();
  ASSERT_EQ(texts.size(), 7u);
  EXPECT_EQ(texts[4], "インターネットから: https://203.0.113.7:8443");
  EXPECT_EQ(opened.back(), "https://203.0.113.7:8443");
}

// Runs a shell command line and returns its standard output.
std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[1024];
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, count);
  pclose(pipe);
  return output;
}

// Waits at most `timeout_ms` for `done`.
template <typename Condition>
bool WaitFor(Condition done, int timeout_ms = 5000) {
  for (int i = 0; i < timeout_ms / 10; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// The server's visible windows on the display in $DISPLAY: its icon, and its menu while open.
int VisibleWindows() {
  std::istringstream ids(RunCommand("xdotool search --onlyvisible --class lumenvale 2>/dev/null"));
  int count = 0;
  for (std::string id; ids >> id;) ++count;
  return count;
}

// trayer, a small system tray, as a panel along the top-left edge of `display`.
std::unique_ptr<ChildProcess> StartTrayer(const std::string& display) {
  return std::make_unique<ChildProcess>(
      std::vector<std::string>{"trayer", "--edge", "top", "--align", "left", "--widthtype",
                               "request", "--height", "32", "--SetDockType", "false"},
      ChildProcess::Environment{{"DISPLAY", display}});
}

// Whether trayer's panel is on the screen, ready to take icons.
bool TrayShown() {
  return !RunCommand("xdotool search --onlyvisible --class trayer 2>/dev/null").empty();
}

// trayer with its panel on the screen; null when none came up, with trayer's own words in
// `why`. A trayer that ends before its panel shows is started again: in loaded test runs one
// in a few said it could not open a display that Xvfb had just announced.
std::unique_ptr<ChildProcess> StartShownTrayer(const std::string& display, std::string* why) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto tray = StartTrayer(display);
    bool ended = false;
    if (WaitFor([&] { return TrayShown() || (ended = tray->Wait(0, 0) != -2); }) && !ended) {
      return tray;
    }
    *why += tray->ReadErrors(1000);
    if (!ended) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return nullptr;
}

// Clicks the icon: button 3 once (the menu), or button 1 twice (a double click).
void ClickIcon(bool menu) {
  RunCommand(
      std::string("xdotool search --onlyvisible --class lumenvale mousemove --window %1 8 8 ") +
      (menu ? "click 3" : "click --repeat 2 --delay 60 1"));
}

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Opens the icon's menu and returns where it is on the screen; an empty rectangle when no
// menu appeared.
Rect OpenMenu() {
  ClickIcon(true);
  Rect menu;
  if (!WaitFor([] { return VisibleWindows() == 2; })) return menu;
  // The menu is the server's visible window that is not the icon.
  std::istringstream ids(RunCommand("xdotool search --onlyvisible --class lumenvale"));
  for (std::string id; ids >> id;) {
    std::string geometry = RunCommand("xdotool getwindowgeometry " + id);
    Rect r;
    if (std::sscanf(geometry.c_str() + geometry.find("Position:"), "Position: %d,%d", &r.x, &r.y) ==
            2 &&
        std::sscanf(geometry.c_str() + geometry.find("Geometry:"), "Geometry: %dx%d", &r.width,
                    &r.height) == 2 &&
        r.height > menu.height) {
      menu = r;
    }
  }
  return menu;
}

// Clicks row `row` of the open menu: its five rows (four pages and exit) share the height but
// for a thin separator, so a fifth of the height finds the middle of each row.
void ClickMenuRow(const Rect& menu, int row) {
  int x = menu.x + menu.width / 2;
  int y = menu.y + menu.height * (2 * row + 1) / 10;
  RunCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(TrayXvfbTest, MenuOpensEachPageDoubleClickOpensTheGalleryExitEndsCleanly) {
  TestFolder folder;
  std::filesystem::create_directories(folder.Path("pictures"));
  std::filesystem::create_directories(folder.Path("units"));
  std::filesystem::create_directories(folder.Path("stub"));
  std::filesystem::create_directories(folder.Path("runtime"));
  chmod(folder.Path("runtime").c_str(), 0700);
  std::string opened = folder.Path("opened.txt");
  std::string stub = folder.Write("stub/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + opened + "'\n");
  chmod(stub.c_str(), 0755);

  ChildProcess xvfb({"Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"},
                    {});
  std::string number = xvfb.ReadLine();
  ASSERT_FALSE(number.empty()) << "Xvfb did not start";
  std::string display = ":" + number.substr(0, number.size() - 1);
  setenv("DISPLAY", display.c_str(), 1);
  std::string why;
  auto tray = StartShownTrayer(display, &why);
  ASSERT_TRUE(tray) << "trayer did not start: " << why;

  int port = FreePort();
  std::string config = folder.Write("gallery.con", GalleryConfig(folder.Path("pictures"), port));
  ChildProcess server({LUMENVALE_BINARY, config},
                      {{"DISPLAY", display},
                       {"WAYLAND_DISPLAY", std::nullopt},
                       {"INVOCATION_ID", std::nullopt},
                       {"NOTIFY_SOCKET", std::nullopt},
                       {"SYSTEMD_UNIT_PATH", folder.Path("units")},
                       {"XDG_RUNTIME_DIR", folder.Path("runtime")},
                       {"PATH", folder.Path("stub") + ":" + getenv("PATH")}});
  ASSERT_NE(server.ReadLine(), "");
  ASSERT_TRUE(WaitFor([] { return VisibleWindows() == 1; })) << "no icon in the tray";
  EXPECT_EQ(Exchange(port, "GET /nothing HTTP/1.1\r\n\r\n").substr(0, 24),
            "HTTP/1.1 404 Not Found\r\n");

  std::string base = "http://" + platform::LocalIpv4Address() + ":" + std::to_string(port);
  const std::string addresses[] = {base, base + "/slideshow", base + "/Uploader", base + "/info"};
  size_t count = 0;
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    Rect menu = OpenMenu();
    ASSERT_GT(menu.height, 0) << "no menu";
    if (count == 0) {
      int argc = 3;
      char name[] = "tray_test", option[] = "-platform", platform_name[] = "xcb";
      char* argv[] = {name, option, platform_name, nullptr};
      QGuiApplication app(argc, argv);
      std::filesystem::create_directories(E2E_OUTPUT);
      EXPECT_TRUE(QGuiApplication::primaryScreen()
                      ->grabWindow(0)
                      .copy(0, 0, 320, 160)
                      .save(E2E_OUTPUT "/tray_menu.png"));
    }
    ClickMenuRow(menu, static_cast<int>(count));
    ++count;
    ASSERT_TRUE(WaitFor([&] { return Lines(folder.Read("opened.txt")).size() == count; }));
    EXPECT_EQ(Lines(folder.Read("opened.txt")).back(), address);
    ASSERT_TRUE(WaitFor([] { return VisibleWindows() == 1; }));
  }

  // A restarted tray gets the icon back.
  tray.reset();
  ASSERT_TRUE(WaitFor([] { return VisibleWindows() == 0; }));
  tray = StartShownTrayer(display, &why);
  ASSERT_TRUE(tray) << "trayer did not start again: " << why;
  ASSERT_TRUE(WaitFor([] { return VisibleWindows() == 1; })) << "icon not back";

  ClickIcon(false);
  ASSERT_TRUE(WaitFor([&] { return Lines(folder.Read("opened.txt")).size() == count + 1; }));
  EXPECT_EQ(Lines(folder.Read("opened.txt")).back(), base);

  Rect menu = OpenMenu();
  ASSERT_GT(menu.height, 0) << "no menu";
  ClickMenuRow(menu, 4);
  EXPECT_EQ(server.Wait(), 0);
  EXPECT_EQ(ConnectLoopback(port), -1);
  EXPECT_EQ(server.ReadErrors(), "");
}

}  // namespace
