#include "common/config/server_settings.h"

#include "common/config/config_check.h"
#include "common/config/config_text.h"
#include "common/config/login_guard.h"
#include "common/config/settings_io.h"
#include "platform/known_folders.h"

namespace {

// The text between the first two double quotes, else the whole command line: a service's
// command line is the executable followed by the quoted configuration path, and an unquoted
// executable path with a blank leaves a stray word before the quote.
std::string ConfigPathOf(const std::string& command_line) {
  size_t first = command_line.find('"');
  size_t second = first == std::string::npos ? first : command_line.find('"', first + 1);
  if (second == std::string::npos) return command_line;
  return command_line.substr(first + 1, second - first - 1);
}

}  // namespace

bool ServerSettings::load(const std::string& command_line) {
  ConfigReport report;
  LoadForStart(command_line, &report);
  return loaded;
}

bool ServerSettings::LoadForStart(const std::string& command_line, ConfigReport* report) {
  *this = ServerSettings();
  *report = ConfigReport();
  std::string path = ConfigPathOf(command_line);
  std::string text, why;
  if (!path.empty() && ReadConfigText(path, &text, &why)) {
    config_path = path;
    loaded = true;
    ReadSettings(text, this);
    ConfigFindings findings = CheckConfigText(text);
    report->warnings = std::move(findings.warnings);
    const std::string login = FailClosedLogin(text, this);
    if (!login.empty()) report->warnings.push_back(login);
    if (!findings.errors.empty()) report->error = path + ": " + findings.errors.front();
  } else if (!command_line.empty()) {
    report->error = "Could not read the configuration file " +
                    (path.empty() ? std::string("\"\"") : path) + ": " +
                    (path.empty() ? std::string("the name is empty") : why);
  }
  if (!loaded) folders.push_back(platform::PicturesFolder());
  return report->error.empty();
}
