#include "server/app/tray_menu.h"

#include <gtest/gtest.h>

namespace {

TEST(TrayMenuTest, TooltipIsTitleColonPortCutTo127Characters) {
  struct Case {
    std::string title;
    uint16_t port;
    std::string expected;
  };
  std::string a126(126, 'a');
  std::string kana125;
  for (int i = 0; i < 125; ++i) kana125 += "ア";
  const Case cases[] = {
      {"Lumenvale", 12345, "Lumenvale:12345"},
      {"", 80, ":80"},
      {a126, 8080, a126 + ":"},  // cut inside the port
      {std::string(200, 'b'), 1, std::string(127, 'b')},
      {kana125, 12345, kana125 + ":1"},  // counted in characters, not bytes
  };
  for (const Case& c : cases) EXPECT_EQ(TrayTooltip(c.title, c.port), c.expected) << c.title;
}

}  // namespace
