// Quillon, the Lumenvale configuration editor: `quillon [FILE]` opens its dialog, `quillon
// COMMAND ...` edits a file or installs the service in the console (quillon --help).
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "editor/command_line.h"
#include "editor/editor_commands.h"
#include "editor/main_dlg.h"
#include "platform/graphical_session.h"
#include "platform/loadable_module.h"
#include "platform/terminal.h"

namespace {

constexpr char kNoDisplay[] =
    "Quillon's dialog needs a display, and none can be reached. Without one, edit\n"
    "the file with Quillon's commands:\n\n";

int RunCommand(const EditorCommandLine& line) {
  ServiceControl service_control;
  EditorConsole console{&std::cin,
                        &std::cout,
                        &std::cerr,
                        platform::ReadSecretLine,
                        platform::InputIsTerminal(),
                        &service_control,
                        IsAdministrator,
                        platform::ExecutableFolder() + "/lumenvale"};
  return RunEditorCommand(line, console);
}

int RunDialog(const EditorCommandLine& line, int argc, char** argv) {
  bool platform_chosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
  if (!platform_chosen && !platform::HasGraphicalSession()) {
    std::fputs((kNoDisplay + EditorHelpText()).c_str(), stderr);
    return 1;
  }
  platform::PreferQtPlatformWithFallback();
  QApplication app(argc, argv);
  if (!platform_chosen && QGuiApplication::platformName() == "offscreen") {
    std::fputs((kNoDisplay + EditorHelpText()).c_str(), stderr);
    return 1;
  }
  CMainDlg dialog;
  if (!line.file.empty()) dialog.Open(std::filesystem::absolute(line.file).string());
  dialog.show();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  EditorCommandLine line;
  std::string error;
  if (!ParseEditorCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line, &error)) {
    std::fprintf(stderr, "quillon: %s\nquillon --help lists the commands.\n", error.c_str());
    return 2;
  }
  switch (line.kind) {
    case EditorCommandLine::Kind::kHelp:
      std::fputs(EditorHelpText().c_str(), stdout);
      return 0;
    case EditorCommandLine::Kind::kDialog:
      return RunDialog(line, argc, argv);
    default:
      return RunCommand(line);
  }
}
