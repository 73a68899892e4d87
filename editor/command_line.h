// Quillon's command line: the dialog (`quillon [FILE]`), `--help`, and the commands that edit a
// configuration file or install the service without a display.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EditorCommandLine {
  enum class Kind {
    kDialog,
    kHelp,
    kShow,
    kSet,
    kAddFolder,
    kRemoveFolder,
    kAddUser,
    kChangeUser,
    kRemoveUser,
    kInstallService,
    kRemoveService,
  };
  Kind kind = Kind::kDialog;
  std::string file;                   // the configuration file as given; empty for none
  std::vector<std::string> operands;  // after the file: key and value, a folder, a user name
  int32_t privilege = 0;              // 1 with --upload
  std::string server;                 // --server PATH; empty when not given
};

// Reads the arguments after the program name. The first argument names a command, unless it
// is --help or does not name one: then it is the file the dialog opens (a file named like a
// command is given as ./NAME). False, with the reason in `error`, for a malformed line.
bool ParseEditorCommandLine(const std::vector<std::string>& arguments, EditorCommandLine* line,
                            std::string* error);

// The text `quillon --help` prints; it lists every command.
std::string EditorHelpText();
