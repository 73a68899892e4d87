#include "common/config/md5_hex.h"

#include <gtest/gtest.h>

namespace {

TEST(MD5HexTest, Rfc1321Vectors) {
  struct Case {
    const char* input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) EXPECT_EQ(MD5Hex(c.input), c.digest) << c.input;
}

TEST(MD5HexTest, HashesBytesIncludingNul) {
  EXPECT_EQ(MD5Hex(std::string_view("\0", 1)), "93b885adfe0da089cdf634904fd59f71");
}

// Pieces of any size, an empty one among them, give the digest of the whole.
TEST(MD5HexTest, PiecesGiveTheDigestOfTheWhole) {
  const std::string whole(200000, 'x');
  for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65536}, whole.size()}) {
    MD5HexStream stream;
    stream.Add("");
    for (size_t at = 0; at < whole.size(); at += piece) stream.Add(whole.substr(at, piece));
    EXPECT_EQ(stream.Finish(), MD5Hex(whole)) << piece;
  }
}

}  // namespace
