#include "common/config/setting_by_key.h"

#include <charconv>
#include <optional>
#include <type_traits>
#include <variant>

#include "common/config/settings_table.h"
#include "platform/text.h"

namespace {

bool HoldsOneValue(const Setting& row) {
  return row.kind != SettingKind::kFolderList && row.kind != SettingKind::kAccounts;
}

template <typename T>
std::optional<std::string> ValueText(const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "1" : "0";
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return std::to_string(value);
  } else if constexpr (std::is_same_v<T, std::optional<uint32_t>>) {
    if (!value) return std::nullopt;
    return std::to_string(*value);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return value;
  } else {
    return std::nullopt;  // the lists
  }
}

template <typename T>
bool ValueFromText(std::string_view text, T* value) {
  if constexpr (std::is_same_v<T, bool>) {
    if (text != "0" && text != "1") return false;
    *value = text == "1";
    return true;
  } else if constexpr (std::is_same_v<T, int32_t>) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
  } else if constexpr (std::is_same_v<T, std::string>) {
    *value = std::string(text);
    return true;
  } else {
    return false;  // no settable row holds another type
  }
}

}  // namespace

std::vector<SettingText> SettingTexts(const EditorSettings& settings) {
  std::vector<SettingText> texts;
  for (const Setting& row : kSettings) {
    if (row.kind == SettingKind::kFolderList) {
      for (const std::string& folder : settings.folders) texts.push_back({row.key, folder});
    }
    if (!HoldsOneValue(row)) continue;
    std::visit(
        [&](auto member) {
          if (std::optional<std::string> value = ValueText(settings.*member)) {
            texts.push_back({row.key, *value});
          }
        },
        row.editor.member);
  }
  return texts;
}

std::vector<std::string> SettableKeys() {
  std::vector<std::string> keys;
  for (const Setting& row : kSettings) {
    if (row.editor.in_dialog && HoldsOneValue(row)) keys.push_back(row.key);
  }
  return keys;
}

SetSettingResult SetSettingByKey(std::string_view key, std::string_view value,
                                 EditorSettings* settings) {
  for (const Setting& row : kSettings) {
    if (!row.editor.in_dialog || !HoldsOneValue(row) || !platform::EqualsIgnoreCase(key, row.key)) {
      continue;
    }
    bool set = std::visit([&](auto member) { return ValueFromText(value, &(settings->*member)); },
                          row.editor.member);
    return set ? SetSettingResult::kSet : SetSettingResult::kBadValue;
  }
  return SetSettingResult::kUnknownKey;
}
