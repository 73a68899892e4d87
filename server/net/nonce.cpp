#include "server/net/nonce.h"

#include <cstdint>
#include <cstring>

#include "platform/random.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  for (int i = 0; i < 64; ++i) {
    if (kAlphabet[i] == c) return i;
  }
  return -1;
}

}  // namespace

std::string MakeNonce() {
  // All 16 bytes come from the system's secure source. Bytes drawn from a generator seeded
  // with one 32-bit value would give only 2^32 distinct nonces, and among some tens of
  // thousands of responses two would share one. They are fetched for many nonces at once
  // (each byte is used once): a system call per answer costs more than the rest of a small
  // answer.
  constexpr size_t kNoncesPerFetch = 64;
  thread_local unsigned char pool[kNonceBytes * kNoncesPerFetch];
  thread_local size_t used = sizeof pool;
  if (used == sizeof pool) {
    platform::SecureRandomBytes(pool, sizeof pool);
    used = 0;
  }
  unsigned char bytes[kNonceBytes];
  std::memcpy(bytes, pool + used, kNonceBytes);
  std::memset(pool + used, 0, kNonceBytes);
  used += kNonceBytes;
  return NonceText(bytes);
}

std::string NonceText(const unsigned char (&bytes)[kNonceBytes]) {
  std::string text;
  text.reserve(24);
  for (size_t i = 0; i < kNonceBytes; i += 3) {
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    size_t available = kNonceBytes - i;
    if (available > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (available > 2) group |= bytes[i + 2];
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += available > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    text += available > 2 ? kAlphabet[group & 63] : '=';
  }
  return text;
}

bool NonceBytes(std::string_view text, unsigned char (&bytes)[kNonceBytes]) {
  if (text.size() != 24 || text.substr(22) != "==") return false;
  uint32_t bits = 0;
  int count = 0;
  size_t out = 0;
  for (char c : text.substr(0, 22)) {
    int value = DigitValue(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes[out++] = static_cast<unsigned char>(bits >> count);
    }
  }
  // The last digit carries 4 unused bits, which the encoder leaves zero.
  return out == kNonceBytes && (bits & ((1u << count) - 1)) == 0;
}
