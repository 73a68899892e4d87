// Reading answers from the person at the terminal.
#pragma once

#include <string>

namespace platform {

// Writes `prompt` to standard error and reads one line from standard input, without its line
// end. When standard input is a terminal, what is typed is not shown (a password). False at
// the end of the input.
bool ReadSecretLine(const std::string& prompt, std::string* line);

// Whether standard input is a terminal (someone types the answers).
bool InputIsTerminal();

}  // namespace platform
