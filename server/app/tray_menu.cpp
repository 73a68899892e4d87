#include "server/app/tray_menu.h"

#include <algorithm>

#include "platform/utf8.h"

namespace {

constexpr size_t kTooltipCharacters = 127;

// The entry's text without its access-key marker: "アップローダを開く(&U)" -> "アップローダを開く".
std::string PlainText(const std::string& text) {
  size_t marker = text.rfind("(&");
  return marker == std::string::npos ? text : text.substr(0, marker);
}

}  // namespace

std::string TrayTooltip(const std::string& title, uint16_t port) {
  std::string text = title + ":" + std::to_string(port);
  size_t pos = 0;
  for (size_t count = 0; pos < text.size() && count < kTooltipCharacters; ++count) {
    DecodeUtf8At(text, &pos);
  }
  return text.substr(0, pos);
}

std::string MenuAddressLines(const std::string& base_address) {
  size_t width = 0;
  for (const TrayMenuEntry& entry : kTrayMenuEntries) {
    width = std::max(width, base_address.size() + std::string(entry.path).size());
  }
  std::string lines;
  for (const TrayMenuEntry& entry : kTrayMenuEntries) {
    std::string address = base_address + entry.path;
    lines += "  " + address + std::string(width - address.size() + 2, ' ') + PlainText(entry.text) +
             "\n";
  }
  return lines;
}
