#include "common/config/setting_status_lines.h"

#include <variant>

#include "common/config/settings_table.h"

namespace {

using Escape = std::string (*)(std::string_view);

void AppendLine(const std::string& text, std::string* lines) {
  *lines += text + "<br>";
}

template <typename Number>
void AppendValues(const StatusLine& line, Number value, Escape, std::string* lines) {
  if (line.when_one != nullptr) {
    AppendLine(value == 1 ? line.when_one : line.otherwise, lines);
  } else {
    AppendLine(line.label + std::to_string(value) + line.suffix, lines);
  }
}

void AppendValues(const StatusLine& line, const std::string& value, Escape escape,
                  std::string* lines) {
  AppendLine(line.label + escape(value) + line.suffix, lines);
}

void AppendValues(const StatusLine& line, const std::vector<std::string>& values, Escape escape,
                  std::string* lines) {
  for (const std::string& value : values) AppendValues(line, value, escape, lines);
}

// Accounts, password hashes included, are never shown.
void AppendValues(const StatusLine&, const std::vector<UserAccount>&, Escape, std::string*) {}

}  // namespace

std::string SettingStatusLines(const ServerSettings& settings, StatusPlace place, Escape escape) {
  std::string lines;
  for (const Setting& row : kSettings) {
    const StatusLine& line = row.status;
    if (line.place != place || place == StatusPlace::kNotShown) continue;
    if (line.only_with_full_paths && settings.show_fullpath == 0) continue;
    std::visit([&](auto member) { AppendValues(line, settings.*member, escape, &lines); },
               row.server);
  }
  return lines;
}
