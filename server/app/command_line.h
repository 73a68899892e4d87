// The server's command line beyond the configuration path: `--help` and `--version`, forms
// that no configuration path takes.
#pragma once

#include <string>

// The text `lumenvale --help` prints.
std::string HelpText();
// The text `lumenvale --version` prints: "lumenvale " + the version + "\n".
std::string VersionText();

// When the only argument is `--help` or `--version`, prints its text on standard output,
// sets *exit_status and returns true; otherwise returns false and the arguments name the
// configuration.
bool AnswerHelpOrVersion(int argc, char** argv, int* exit_status);
