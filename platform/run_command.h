// Running another program and collecting what it prints, without a shell in between.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Runs `argv` (argv[0] looked up in PATH) with standard input from /dev/null and waits for it.
// Its standard output and standard error, interleaved, go to `output`. Returns its exit status,
// or -1 when it could not be started or did not exit normally.
int RunCommand(const std::vector<std::string>& argv, std::string* output);

// Whether the process runs with the rights of the superuser (effective uid 0).
bool IsSuperuser();

}  // namespace platform
