#include "platform/loadable_module.h"

#include <dlfcn.h>

#include <filesystem>

namespace platform {

std::string ExecutableFolder() {
  std::error_code failure;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
  return failure ? "" : program.parent_path().string();
}

void* LoadModuleFunction(const std::string& path, const char* name, std::string* error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    *error = dlerror();
    return nullptr;
  }
  void* function = dlsym(module, name);
  if (function == nullptr) *error = path + ": no function " + name;
  return function;
}

}  // namespace platform
