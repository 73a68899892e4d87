// What the tray menu offers, shared by the tray icon and by the console, which prints the
// same addresses once at start.
#pragma once

#include <cstdint>
#include <string>

// One menu entry that opens a page: its text ("&" marks the access key) and the path put
// after the base address.
struct TrayMenuEntry {
  const char* text;
  const char* path;
};

// The page entries in menu order; a separator and kTrayExitText follow them.
inline constexpr TrayMenuEntry kTrayMenuEntries[] = {
    {"メイン画面を表示(&V)", ""},
    {"スライドショー開始(全ファイル)(&S)", "/slideshow"},
    {"アップローダを開く(&U)", "/Uploader"},
    {"ステータス情報を開く(&T)", "/info"},
};
inline constexpr char kTrayExitText[] = "終了(&X)";
// Before the separator, once the gateway mapped the port: the gallery's address from the
// Internet, which opens it.
inline constexpr char kTrayPublicText[] = "インターネットから: ";

// The icon's tooltip: "TITLE:PORT", cut to its first 127 characters.
std::string TrayTooltip(const std::string& title, uint16_t port);

// The start-up lines after the banner: each menu entry's address (base address + path)
// with the entry's text, so the gallery can be opened from another device.
std::string MenuAddressLines(const std::string& base_address);
