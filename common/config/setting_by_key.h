// The editor's settings named by their keys, for the editor's commands that show a file or set
// one setting without the dialog.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/config/editor_settings.h"

struct SettingText {
  std::string key;
  std::string value;  // as the file holds it: numbers in decimal, flags 0 or 1, texts raw

  bool operator==(const SettingText&) const = default;
};

// The settings of `settings` in the order of the file, with their values: one PATH for each
// folder, every setting that holds one value, a setting kept from the file only when the file
// held it. The accounts are not among them: their hashes are no one's business.
std::vector<SettingText> SettingTexts(const EditorSettings& settings);

// The keys that SetSettingByKey accepts: the dialog's settings that hold one value, that is
// all but the folder list and the accounts.
std::vector<std::string> SettableKeys();

enum class SetSettingResult {
  kSet,
  kUnknownKey,  // no settable key, even ignoring letter case
  kBadValue,    // a flag not 0 or 1, a number with other characters than digits or too large
};

// Sets the setting `key` (letter case ignored) to `value`: a flag from "0" or "1", a number
// from decimal digits (at most 2147483647), a text as it is.
SetSettingResult SetSettingByKey(std::string_view key, std::string_view value,
                                 EditorSettings* settings);
