#include "editor/editor_commands.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <istream>
#include <optional>
#include <ostream>

#include "common/config/setting_by_key.h"
#include "editor/config_editor.h"
#include "editor/console_prompts.h"
#include "editor/service_installer.h"

namespace {

using Kind = EditorCommandLine::Kind;

// `path` as an absolute path without "." or ".." parts or a trailing "/", as the dialog's file
// and folder pickers return it. Symbolic links are kept as named.
std::string AbsolutePath(const std::string& path) {
  std::error_code ignored;
  std::string absolute = std::filesystem::absolute(path, ignored).lexically_normal().string();
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  return absolute;
}

// The rows of `list` whose text is `wanted`, as given or made absolute.
template <typename T, typename Text>
std::vector<int> RowsNamed(const std::vector<T>& list, const std::vector<std::string>& wanted,
                           Text text) {
  std::vector<int> rows;
  for (size_t row = 0; row < list.size(); ++row) {
    if (std::find(wanted.begin(), wanted.end(), text(list[row])) != wanted.end()) {
      rows.push_back(static_cast<int>(row));
    }
  }
  return rows;
}

class CommandRun {
 public:
  CommandRun(const EditorCommandLine& line, const EditorConsole& console)
      : line_(line), console_(console), prompts_(console.in, console.out), editor_(&prompts_) {}

  int Run() {
    if (line_.kind == Kind::kInstallService || line_.kind == Kind::kRemoveService) {
      return RunServiceCommand();
    }
    path_ = AbsolutePath(line_.file);
    if (!LoadFile()) return 1;
    if (line_.kind == Kind::kShow) return Show();
    if (!Change()) return 1;
    prompts_.AnswerNextFile(path_);
    return editor_.Save(values_) ? 0 : 1;
  }

 private:
  // Loads the file. A file that does not exist yet is the defaults (a save creates it); one
  // that exists but cannot be read is refused, so that no save replaces it with the defaults.
  bool LoadFile() {
    std::error_code ignored;
    bool exists = std::filesystem::exists(path_, ignored);
    if (exists && !EditorSettings().parse(path_)) {
      Fail(path_ + ": the file cannot be read; nothing was changed.");
      return false;
    }
    if (!exists && line_.kind == Kind::kShow) {
      Fail(path_ + ": no such file.");
      return false;
    }
    values_ = editor_.Load(path_);
    return true;
  }

  int Show() {
    std::ostream& out = *console_.out;
    out << path_ << "\n";
    for (const SettingText& setting : SettingTexts(values_)) {
      out << std::left << std::setw(27) << setting.key << setting.value << "\n";
    }
    for (const EditorAccount& account : editor_.accounts()) {
      out << std::left << std::setw(27) << "USER" << account.name << "  "
          << PrivilegeText(account.privilege) << "\n";
    }
    if (!values_.unknown_elements.empty()) {
      out << "(" << values_.unknown_elements.size()
          << " more elements that the editor keeps as they are)\n";
    }
    return 0;
  }

  // Makes the command's change in the editor; false, having said why, when it cannot.
  bool Change() {
    const std::vector<std::string>& operands = line_.operands;
    switch (line_.kind) {
      case Kind::kSet:
        return Set(operands[0], operands[1]);
      case Kind::kAddFolder:
        return AddFolder(operands[0]);
      case Kind::kRemoveFolder: {
        std::vector<int> rows =
            RowsNamed(editor_.folders(), {operands[0], AbsolutePath(operands[0])},
                      [](const std::string& folder) { return folder; });
        if (rows.empty()) return Fail(operands[0] + ": not one of the folders of " + path_ + ".");
        editor_.RemoveFolders(rows);
        return true;
      }
      case Kind::kAddUser:
      case Kind::kChangeUser:
        return AddOrChangeUser(operands[0]);
      case Kind::kRemoveUser: {
        std::vector<int> rows = UserRows(operands[0]);
        if (rows.empty()) return Fail(operands[0] + ": no such user in " + path_ + ".");
        editor_.RemoveAccounts(rows);
        return true;
      }
      default:
        return false;
    }
  }

  bool Set(const std::string& key, const std::string& value) {
    switch (SetSettingByKey(key, value, &values_)) {
      case SetSettingResult::kSet:
        return true;
      case SetSettingResult::kUnknownKey: {
        std::string keys;
        for (const std::string& settable : SettableKeys()) keys += " " + settable;
        return Fail(key + ": not a key that set can change; the keys are" + keys + ".");
      }
      case SetSettingResult::kBadValue:
        return Fail(key + ": " + value +
                    " is not a value for it (flags take 0 or 1, numbers decimal digits).");
    }
    return false;
  }

  bool AddFolder(const std::string& folder) {
    std::string absolute = AbsolutePath(folder);
    std::error_code ignored;
    if (!std::filesystem::is_directory(absolute, ignored)) {
      return Fail(folder + ": no such folder.");
    }
    prompts_.AnswerNextFolder(absolute);
    return editor_.ChooseAndAddFolder();
  }

  std::vector<int> UserRows(const std::string& name) {
    return RowsNamed(editor_.accounts(), {name},
                     [](const EditorAccount& account) { return account.name; });
  }

  bool AddOrChangeUser(const std::string& name) {
    if (line_.kind == Kind::kChangeUser && UserRows(name).empty()) {
      return Fail(name + ": no such user in " + path_ + "; add-user adds one.");
    }
    std::string password, again;
    if (!console_.read_password("Password for " + name + ": ", &password)) {
      return Fail("No password was given; nothing was changed.");
    }
    if (console_.confirm_password &&
        (!console_.read_password("The same password again: ", &again) || again != password)) {
      return Fail("The two passwords differ; nothing was changed.");
    }
    return editor_.AddOrChangeAccount(name, password, line_.privilege);
  }

  // The installer asks for the server program first, then the configuration file; the command
  // line answers both (no FILE cancels the second choice, as in the dialog).
  int RunServiceCommand() {
    std::optional<std::string> config;
    if (!line_.file.empty()) {
      config = AbsolutePath(line_.file);
      std::error_code ignored;
      if (!std::filesystem::is_regular_file(*config, ignored)) {
        Fail(*config + ": no such file.");
        return 1;
      }
    }
    std::string server =
        AbsolutePath(line_.server.empty() ? console_.default_server : line_.server);
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(server, ignored)) {
      Fail(server + ": no server program there; name it with --server PATH.");
      return 1;
    }
    prompts_.AnswerNextFile(server);
    prompts_.AnswerNextFile(config);
    ServiceInstaller installer(&prompts_, console_.service_control, console_.is_administrator);
    bool done = line_.kind == Kind::kInstallService ? installer.Install(editor_.current_path())
                                                    : installer.Uninstall(editor_.current_path());
    return done ? 0 : 1;
  }

  bool Fail(const std::string& why) {
    *console_.err << why << "\n";
    return false;
  }

  const EditorCommandLine& line_;
  const EditorConsole& console_;
  ConsolePrompts prompts_;
  ConfigEditor editor_;
  std::string path_;
  EditorSettings values_;
};

}  // namespace

int RunEditorCommand(const EditorCommandLine& line, const EditorConsole& console) {
  return CommandRun(line, console).Run();
}
