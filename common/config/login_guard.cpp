#include "common/config/login_guard.h"

#include <algorithm>
#include <vector>

#include "common/config/config_number.h"
#include "common/config/settings_io.h"
#include "platform/text.h"

namespace {

constexpr std::string_view kKey = "NEED_USER";

// Blanks, an optional sign and decimal digits, nothing else.
bool IsPlainNumber(std::string_view value) {
  const size_t first = value.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return false;
  value = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
  if (value.front() == '+' || value.front() == '-') value.remove_prefix(1);
  return !value.empty() &&
         std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The opening tag's value of an element "<NAME>value</NAME>".
std::string_view ValueOf(std::string_view element, std::string_view name) {
  element.remove_prefix(name.size() + 2);
  element.remove_suffix(name.size() + 3);
  return element;
}

// Why the file's login setting is in doubt; empty when it is one plain number that the
// reader took as `read`, or absent.
std::string Doubt(std::string_view text, int32_t read) {
  std::string doubt;
  std::vector<std::string> values;
  WalkElements(
      text,
      [&](std::string_view name, std::string_view element) {
        if (!platform::EqualsIgnoreCase(name, kKey)) return;
        if (name != kKey) {
          if (doubt.empty()) doubt = "<" + std::string(name) + "> is not <NEED_USER>";
          return;
        }
        values.emplace_back(ValueOf(element, name));
      },
      [&](std::string_view name) {
        if (doubt.empty() && platform::EqualsIgnoreCase(name, kKey))
          doubt = "<" + std::string(name) + "> is never closed";
      });
  if (!doubt.empty()) return doubt;
  for (const std::string& value : values) {
    if (!IsPlainNumber(value)) return "NEED_USER is \"" + value + "\", which is not a number";
    if (ParseConfigSigned(value) != ParseConfigSigned(values.front())) {
      return "NEED_USER is given " + std::to_string(values.size()) + " times with different values";
    }
  }
  // The reader takes the first tag that starts with the key: a longer name before it hides it.
  if (!values.empty() && ParseConfigSigned(values.front()) != read) {
    return "NEED_USER is \"" + values.front() +
           "\", hidden by an element before it whose name "
           "starts with NEED_USER";
  }
  return "";
}

}  // namespace

std::string FailClosedLogin(std::string_view text, ServerSettings* settings) {
  // Without users login would let nobody in: the file's other warnings say what is ignored.
  if (settings->need_user != 0 || settings->users.empty()) return "";
  const std::string doubt = Doubt(text, settings->need_user);
  if (doubt.empty()) return "";
  settings->need_user = 1;
  return doubt + "; since the file names users, login is on";
}
