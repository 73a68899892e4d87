// Test helper: what a shell command line prints on standard output, for tests that drive
// real clients (curl, openssl, python3) with pipes and redirections.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

inline std::string ShellOutput(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  return output;
}
