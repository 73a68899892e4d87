// Helpers for the catalogue's tests: a temporary folder per test, files in and out, the
// archive and compression tools that make the test data, and deterministic sample content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFile(const std::string& path);
// Creates the folders on the way.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& text);

// Runs `command` through the shell; returns its exit status.
int RunShell(const std::string& command);
// Whether `tool` is an executable on PATH (or an absolute path to one).
bool HaveTool(const std::string& tool);
// `text` quoted for the shell.
std::string Quote(const std::string& text);

// Sample contents, the same on every run: words that compress like prose, random bytes that
// do not compress, and long runs.
std::vector<uint8_t> SampleText(size_t size, uint32_t seed);
std::vector<uint8_t> SampleNoise(size_t size, uint32_t seed);
std::vector<uint8_t> SampleRuns(size_t size, uint32_t seed);

}  // namespace test_support
