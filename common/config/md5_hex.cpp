#include "common/config/md5_hex.h"

#include <openssl/evp.h>

std::string MD5Hex(std::string_view bytes) {
  MD5HexStream stream;
  stream.Add(bytes);
  return stream.Finish();
}

MD5HexStream::MD5HexStream() : context_(EVP_MD_CTX_new()) {
  EVP_DigestInit_ex(context_, EVP_md5(), nullptr);
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
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}
