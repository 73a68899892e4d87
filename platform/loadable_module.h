// Optional parts of a program kept in shared objects of their own, loaded only when wanted, so
// that the program itself does not depend on what they link.
#pragma once

#include <string>

namespace platform {

// The folder of the running program's file, read through /proc/self/exe; "" when unknown.
std::string ExecutableFolder();

// Loads the shared object at `path` for the rest of the process's life (what it links, such
// as a toolkit, cannot be unloaded safely) and returns the address of its function `name`.
// nullptr, with the loader's reason in `error`, when it cannot be loaded or lacks `name`.
void* LoadModuleFunction(const std::string& path, const char* name, std::string* error);

}  // namespace platform
