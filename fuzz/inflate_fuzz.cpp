// Input: a 4-byte little-endian declared size (taken modulo 1 MiB), then a raw DEFLATE
// stream. The decoder must return, never crash, and on success give exactly that many bytes.
// zlib decodes the same stream as a reference: every stream it decodes to the declared size
// must decode alike here, and where both produce bytes they must agree. The decoder accepts
// a little more than zlib (incomplete codes, block type 3, unchecked stored lengths), so a
// stream zlib refuses may still decode here.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "server/catalogue/inflate.h"
#include "server/catalogue/little_endian.h"

namespace {

// The bytes zlib decodes before it stops; `complete` when it reached the end of the final
// block with exactly `declared` bytes.
std::vector<uint8_t> ZlibInflate(const uint8_t* data, size_t size, uint64_t declared,
                                 bool* complete) {
  std::vector<uint8_t> out(declared);
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int result = inflate(&z, Z_FINISH);
  *complete = result == Z_STREAM_END && z.total_out == declared;
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint64_t declared = LoadLe32(data) % (1u << 20);
  std::vector<uint8_t> out;
  const bool ok = Inflate(data + 4, size - 4, declared, &out) == InflateResult::kOk;
  if (ok && out.size() != declared) std::abort();

  bool zlib_complete = false;
  std::vector<uint8_t> reference = ZlibInflate(data + 4, size - 4, declared, &zlib_complete);
  if (zlib_complete && (!ok || out != reference)) std::abort();
  if (ok && !std::equal(reference.begin(), reference.end(), out.begin())) std::abort();
  return 0;
}
