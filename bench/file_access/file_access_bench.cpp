// Costs of the file access layer: a cached ReadAll hit beside an uncached read of the same
// file, and Exists of a member of a 10 000-member archive (the first call, which reads the
// directory, and the calls after it) beside Exists of a plain file.
//
//   file_access_bench FILE ARCHIVE MEMBER
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "server/catalogue/member_path.h"
#include "server/catalogue/omni_file_access.h"

namespace {

// Microseconds per call, over `count` calls.
template <typename Call>
double MicrosecondsPerCall(int count, Call call, bool* ok) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) *ok = call() && *ok;
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
             .count() /
         count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: file_access_bench FILE ARCHIVE MEMBER\n");
    return 2;
  }
  const std::string file = argv[1];
  const std::string member = MakeMemberPath(argv[2], argv[3]);
  ReadBudget budget(ReadBudget::kReadBytesInFlight);
  COmniFileAccess access(budget);
  std::vector<uint8_t> out;
  bool ok = access.ReadAll(1, file, &out);
  const size_t size = out.size();

  double hit = MicrosecondsPerCall(
      20000, [&] { return access.ReadAll(1, file, &out); }, &ok);
  double uncached = MicrosecondsPerCall(
      2000, [&] { return access.ReadAll(0, file, &out); }, &ok);
  std::printf("cached ReadAll hit of a %zu KB file: %.1f us   uncached ReadAll: %.1f us\n",
              size / 1024, hit, uncached);

  // The first look-up reads the archive's directory; later ones find it kept.
  double first = MicrosecondsPerCall(
      1, [&] { return access.Exists(member); }, &ok);
  double exists = MicrosecondsPerCall(
      20000, [&] { return access.Exists(member); }, &ok);
  double plain = MicrosecondsPerCall(
      20000, [&] { return access.Exists(file); }, &ok);
  std::printf(
      "Exists of the last member of a 10000-member archive: %.1f us (first: %.0f us; target "
      "< 10 us)   of a plain file: %.1f us\n",
      exists, first, plain);
  if (!ok) std::printf("A CALL FAILED\n");
  return ok ? 0 : 1;
}
