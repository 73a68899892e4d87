// MD5 (RFC 1321) of a byte string as 32 lowercase hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

std::string MD5Hex(std::string_view bytes);

// The same digest of bytes that come in pieces: MD5Hex of all pieces joined, without holding
// them together.
class MD5HexStream {
 public:
  MD5HexStream();
  ~MD5HexStream();
  MD5HexStream(const MD5HexStream&) = delete;
  MD5HexStream& operator=(const MD5HexStream&) = delete;

  void Add(std::string_view piece);
  // The digest of every piece added. REQUIRES: called once, after the last Add.
  std::string Finish();

 private:
  struct evp_md_ctx_st* context_;
};
