#include "server/net/nonce.h"

#include <cstdint>

#include "platform/random.h"

std::string MakeNonce() {
  // All 16 bytes come from the system's secure source. Bytes drawn from a generator seeded
  // with one 32-bit value would give only 2^32 distinct nonces, and among some tens of
  // thousands of responses two would share one.
  unsigned char bytes[16];
  platform::SecureRandomBytes(bytes, sizeof bytes);

  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve(24);
  for (size_t i = 0; i < sizeof bytes; i += 3) {
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    size_t available = sizeof bytes - i;
    if (available > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (available > 2) group |= bytes[i + 2];
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += available > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    text += available > 2 ? kAlphabet[group & 63] : '=';
  }
  return text;
}
