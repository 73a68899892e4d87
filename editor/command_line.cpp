#include "editor/command_line.h"

#include "common/config/setting_by_key.h"

namespace {

using Kind = EditorCommandLine::Kind;

// One command: its word, what follows it, how many operands (the file first) it takes, the
// options it accepts and what it does, as the help lists it.
struct CommandForm {
  const char* word;
  Kind kind;
  const char* synopsis;
  size_t fewest;
  size_t most;
  bool upload_option;
  bool server_option;
  const char* summary;
};

constexpr CommandForm kForms[] = {
    {"show", Kind::kShow, "FILE", 1, 1, false, false, "print the settings and users of FILE"},
    {"set", Kind::kSet, "FILE KEY VALUE", 3, 3, false, false,
     "set one setting (KEY as in the file, see below)"},
    {"add-folder", Kind::kAddFolder, "FILE FOLDER", 2, 2, false, false, "add a picture folder"},
    {"remove-folder", Kind::kRemoveFolder, "FILE FOLDER", 2, 2, false, false,
     "remove a picture folder"},
    {"add-user", Kind::kAddUser, "FILE NAME [--upload]", 2, 2, true, false,
     "add a user, or change the user of that name; the password is asked for\n"
     "      (without echo); --upload lets the user upload pictures"},
    {"change-user", Kind::kChangeUser, "FILE NAME [--upload]", 2, 2, true, false,
     "give an existing user a new password and upload right"},
    {"remove-user", Kind::kRemoveUser, "FILE NAME", 2, 2, false, false, "remove a user"},
    {"install-service", Kind::kInstallService, "[FILE] [--server PATH]", 0, 1, false, true,
     "install and enable the systemd service Lumenvale:PORT.service of FILE's\n"
     "      port, and start it when you answer y; needs root"},
    {"remove-service", Kind::kRemoveService, "[FILE]", 0, 1, false, false,
     "stop, disable and remove that service; needs root"},
};

const CommandForm* FindForm(const std::string& word) {
  for (const CommandForm& form : kForms) {
    if (word == form.word) return &form;
  }
  return nullptr;
}

}  // namespace

bool ParseEditorCommandLine(const std::vector<std::string>& arguments, EditorCommandLine* line,
                            std::string* error) {
  *line = EditorCommandLine();
  if (arguments.empty()) return true;
  const CommandForm* form = FindForm(arguments[0]);
  if (form == nullptr) {
    if (arguments[0] == "--help" && arguments.size() == 1) {
      line->kind = Kind::kHelp;
      return true;
    }
    if (arguments.size() > 1 || arguments[0].rfind('-', 0) == 0) {
      *error = "unknown command: " + arguments[0];
      return false;
    }
    line->file = arguments[0];
    return true;
  }
  line->kind = form->kind;
  std::vector<std::string> operands;
  bool options_end = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_end || argument.size() < 2 || argument.rfind('-', 0) != 0) {
      operands.push_back(argument);
    } else if (argument == "--") {
      options_end = true;
    } else if (argument == "--upload" && form->upload_option) {
      line->privilege = 1;
    } else if (argument == "--server" && form->server_option && i + 1 < arguments.size()) {
      line->server = arguments[++i];
    } else {
      *error = std::string(form->word) + ": unknown option " + argument;
      return false;
    }
  }
  if (operands.size() < form->fewest || operands.size() > form->most) {
    *error = std::string("usage: quillon ") + form->word + " " + form->synopsis;
    return false;
  }
  if (!operands.empty()) {
    line->file = operands[0];
    line->operands.assign(operands.begin() + 1, operands.end());
  }
  return true;
}

std::string EditorHelpText() {
  std::string text =
      "Usage: quillon [FILE]\n"
      "       quillon COMMAND ARGUMENTS\n"
      "       quillon --help\n"
      "\n"
      "Quillon edits the configuration file (.con) of the Lumenvale picture server.\n"
      "Without a command it opens its dialog (it needs a display), with FILE loaded\n"
      "when one is given. The commands do what the dialog does, with the same checks\n"
      "and messages, in the console. A command that changes FILE writes it whole or\n"
      "not at all, keeping what it does not change; a FILE that does not exist yet is\n"
      "made from the defaults.\n"
      "\n"
      "Commands:\n";
  for (const CommandForm& form : kForms) {
    text += std::string("  ") + form.word + " " + form.synopsis + "\n      " + form.summary + "\n";
  }
  text +=
      "\n"
      "Keys for set (flags take 0 or 1, ports decimal numbers, TITLE and\n"
      "HASH_FILE_NAME any text):\n";
  size_t width = 0;  // of the line of keys being filled
  for (const std::string& key : SettableKeys()) {
    if (width > 0 && width + 1 + key.size() > 79) {
      text += '\n';
      width = 0;
    }
    text += width == 0 ? "  " : " ";
    text += key;
    width += (width == 0 ? 2 : 1) + key.size();
  }
  text +=
      "\n\n"
      "install-service runs the server program beside quillon (or --server PATH)\n"
      "on FILE; without FILE the server serves its defaults on port 12345.\n"
      "\n"
      "Exit status: 0 when the command was done, 1 when it was refused or failed (the\n"
      "message says why), 2 for a malformed command line. More: man quillon.\n";
  return text;
}
