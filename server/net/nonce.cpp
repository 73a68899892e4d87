#include "server/net/nonce.h"

#include <random>

#include "platform/random.h"

std::string MakeNonce() {
  // A generator per call, seeded from the system's secure source, so no state is shared
  // between the threads that build responses.
  std::mt19937 generator(platform::SecureRandom32());
  unsigned char bytes[16];
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(generator() & 0xFF);

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
