#include "server/catalogue/testing/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace test_support {

TempDir::TempDir() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                     : std::string("catalogue");
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  std::string pattern =
      (std::filesystem::temp_directory_path() / ("lv-" + name + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

int RunShell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& tool) {
  return RunShell("command -v " + Quote(tool) + " >/dev/null 2>&1") == 0;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::vector<uint8_t> SampleText(size_t size, uint32_t seed) {
  static const char* const kWords[] = {
      "the",       "picture", "gallery", "of",     "a",      "summer", "evening", "light",
      "falls",     "on",      "water",   "and",    "stone",  "while",  "birds",   "return",
      "to",        "their",   "nests",   "under",  "bridge", "river",  "morning", "mist",
      "Lumenvale", "album",   "frame",   "colour", "quiet",  "street", "lantern", "harbour"};
  std::mt19937 random(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const char* word = kWords[random() % std::size(kWords)];
    out.insert(out.end(), word, word + std::char_traits<char>::length(word));
    uint32_t r = random() % 16;
    out.push_back(r == 0 ? '\n' : (r == 1 ? ',' : ' '));
    if (r == 2) out.push_back(static_cast<uint8_t>('0' + random() % 10));
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> SampleNoise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(random());
  return out;
}

std::vector<uint8_t> SampleRuns(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 1024);
  while (out.size() < size) {
    size_t run = 1 + random() % 700;
    out.insert(out.end(), run, static_cast<uint8_t>(random() % 4));
  }
  out.resize(size);
  return out;
}

}  // namespace test_support
