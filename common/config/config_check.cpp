#include "common/config/config_check.h"

#include "common/config/config_number.h"
#include "common/config/settings_io.h"
#include "common/config/settings_table.h"
#include "common/config/tag_lookup.h"

namespace {

// Unknown names listed in the warning for a file without a known setting, at most.
constexpr size_t kListedNames = 5;

void CheckRanges(std::string_view text, ConfigFindings* findings) {
  for (const Setting& row : kSettings) {
    std::string value;
    if (row.kind != SettingKind::kPort || !FindTagValue(text, row.key, &value)) continue;
    if (ConfigNumberWithin(value, 65535)) continue;
    findings->errors.push_back(
        std::string(row.key) + " is \"" + value +
        "\", which is not a port number (1 to 65535, or 0 for any free port)");
  }
}

void CheckElements(std::string_view text, ConfigFindings* findings) {
  size_t known = 0;
  std::vector<std::string> unknown;
  WalkElements(
      text,
      [&](std::string_view name, std::string_view) {
        if (IsSettingKey(name)) {
          ++known;
        } else if (unknown.size() < kListedNames) {
          unknown.push_back("<" + std::string(name) + ">");
        }
      },
      [&](std::string_view name) {
        findings->warnings.push_back("<" + std::string(name) + "> is never closed by </" +
                                     std::string(name) + ">: it is ignored");
      });
  if (known > 0) return;
  std::string warning = "no known setting in it, so no folder is served";
  if (!unknown.empty()) {
    warning += "; ignored:";
    for (const std::string& name : unknown) warning += " " + name;
    warning += " (keys are upper case, as in <PATH>)";
  }
  findings->warnings.push_back(warning);
}

}  // namespace

ConfigFindings CheckConfigText(std::string_view text) {
  ConfigFindings findings;
  CheckRanges(text, &findings);
  CheckElements(text, &findings);
  return findings;
}
