#include "common/config/md5_hex.h"

#include <openssl/evp.h>

namespace {

// Fetched once: naming the digest by EVP_md5() looks its implementation up again at every
// use, which costs more than hashing a short text.
const EVP_MD* Md5() {
  static EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return md5;
}

std::string HexOf(const unsigned char* digest, unsigned int length) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex(length * 2, '\0');
  for (unsigned int i = 0; i < length; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 15];
  }
  return hex;
}

}  // namespace

std::string MD5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, Md5(), nullptr);
  return HexOf(digest, length);
}

MD5HexStream::MD5HexStream() : context_(EVP_MD_CTX_new()) {
  EVP_DigestInit_ex(context_, Md5(), nullptr);
}

MD5HexStream::~MD5HexStream() {
  EVP_MD_CTX_free(context_);
}

void MD5HexStream::Add(std::string_view piece) {
  EVP_DigestUpdate(context_, piece.data(), piece.size());
}

std::string MD5HexStream::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, digest, &length);
  return HexOf(digest, length);
}
