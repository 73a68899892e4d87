#include "editor/service_control.h"

#include <cstdio>
#include <filesystem>

#include "platform/file_replace.h"
#include "platform/run_command.h"
#include "platform/text.h"

namespace {

// Characters that stand in an ExecStart word without quotes and mean only themselves.
bool IsPlainWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
         c == '.' || c == '_' || c == '-' || c == '+' || c == ':' || c == '@' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// `word` in double quotes as systemd reads an ExecStart argument: "%" (a specifier) and "$" (a
// variable) doubled, backslash and quote escaped, control characters as \xNN.
std::string QuotedExecWord(const std::string& word) {
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '%' || c == '$') {
      quoted += {c, c};
    } else if (c == '\\' || c == '"') {
      quoted += {'\\', c};
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string ExecWord(const std::string& word) {
  for (char c : word) {
    if (!IsPlainWordCharacter(c)) return QuotedExecWord(word);
  }
  return word;
}

// A path setting's value: specifiers doubled; it cannot carry control characters at all.
bool PathSettingValue(const std::string& path, std::string* value) {
  value->clear();
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    if (c == '%') *value += '%';
    *value += c;
  }
  return true;
}

}  // namespace

std::string ServiceName(uint16_t port) {
  return "Lumenvale:" + std::to_string(port);
}

bool FormatServiceUnit(const ServiceCommand& command, const std::string& name, std::string* unit,
                       std::string* error) {
  std::string exec_start = ExecWord(command.executable);
  std::string working_directory;
  if (!command.config_path.empty()) {
    exec_start += " " + QuotedExecWord(command.config_path);
    if (!PathSettingValue(platform::FolderOf(command.config_path), &working_directory)) {
      *error = "設定ファイルのフォルダ名に制御文字が含まれています: " + command.config_path;
      return false;
    }
  }
  *unit =
      "[Unit]\n"
      "Description=Lumenvale picture gallery server (" +
      name +
      ")\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "ExecStart=" +
      exec_start + "\n";
  if (!working_directory.empty()) *unit += "WorkingDirectory=" + working_directory + "\n";
  *unit +=
      "Restart=on-failure\n"
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  return true;
}

bool IsAdministrator() {
  return platform::IsSuperuser();
}

std::string ServiceControl::UnitPath(const std::string& name) const {
  return unit_folder_ + "/" + name + ".service";
}

bool ServiceControl::Systemctl(const std::vector<std::string>& arguments, std::string* error) {
  std::vector<std::string> argv = systemctl_;
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::string output;
  int status = platform::RunCommand(argv, &output);
  if (status == 0) return true;
  std::string command;
  for (const std::string& word : argv) command += (command.empty() ? "" : " ") + word;
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  *error = command + ": " +
           (status < 0 ? "実行できませんでした" : "終了コード " + std::to_string(status)) +
           (output.empty() ? "" : "\n" + output);
  return false;
}

bool ServiceControl::InstallService(const ServiceCommand& command, const std::string& name,
                                    std::string* error) {
  std::string unit;
  if (!FormatServiceUnit(command, name, &unit, error)) return false;
  if (!platform::ReplaceFileContents(UnitPath(name), unit)) {
    *error = UnitPath(name) + " を書き込めませんでした。";
    return false;
  }
  if (Systemctl({"daemon-reload"}, error) && Systemctl({"enable", name + ".service"}, error)) {
    return true;
  }
  // A unit file left behind would still keep the server from starting by hand on that port.
  std::error_code ignored;
  std::filesystem::remove(UnitPath(name), ignored);
  std::string reload_error;
  Systemctl({"daemon-reload"}, &reload_error);
  return false;
}

bool ServiceControl::ServiceInstalled(const std::string& name) const {
  std::error_code ignored;
  return std::filesystem::exists(UnitPath(name), ignored);
}

bool ServiceControl::StopService(const std::string& name, std::string* error) {
  return Systemctl({"stop", name + ".service"}, error);
}

bool ServiceControl::RemoveService(const std::string& name, std::string* error) {
  if (!StopService(name, error) || !Systemctl({"disable", name + ".service"}, error)) return false;
  std::error_code failure;
  if (!std::filesystem::remove(UnitPath(name), failure) && failure) {
    *error = UnitPath(name) + " を削除できませんでした: " + failure.message();
    return false;
  }
  return Systemctl({"daemon-reload"}, error);
}

bool ServiceControl::RunService(const std::string& name, std::string* error) {
  return Systemctl({"start", name + ".service"}, error);
}
