// Running Quillon's commands in a console: each loads the file into the editing core, does
// what the dialog's control would do, and saves through the same checks and writer.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "editor/command_line.h"
#include "editor/service_control.h"

// Where a command reads and writes, and what it uses of the system. Everything is supplied,
// so that tests run the commands against their own streams, unit folder and systemctl.
struct EditorConsole {
  std::istream* in;   // answers to questions
  std::ostream* out;  // what the command shows and the editor's messages
  std::ostream* err;  // why a command could not run at all
  // Reads a password: prints the prompt, reads a line without echo; false at end of input.
  std::function<bool(const std::string& prompt, std::string* line)> read_password;
  bool confirm_password = false;  // ask for the password twice (someone types it)
  ServiceControl* service_control;
  std::function<bool()> is_administrator;
  std::string default_server;  // the server program install-service uses without --server
};

// Runs `line` (any kind but the dialog and help) and returns the exit status: 0 when the
// command was done; 1 when it was refused or failed, with its message and nothing written.
int RunEditorCommand(const EditorCommandLine& line, const EditorConsole& console);
