// Input: a 4-byte little-endian declared size (taken modulo 1 MiB), then a raw DEFLATE
// stream. The decoder must return, never crash, and on success give exactly that many bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "server/catalogue/inflate.h"
#include "server/catalogue/little_endian.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint64_t declared = LoadLe32(data) % (1u << 20);
  std::vector<uint8_t> out;
  if (Inflate(data + 4, size - 4, declared, &out) == InflateResult::kOk && out.size() != declared) {
    std::abort();
  }
  return 0;
}
