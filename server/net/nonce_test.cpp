#include "server/net/nonce.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(NonceTest, ShapeAndUniqueness) {
  std::set<std::string> seen;
  for (int i = 0; i < 200000; ++i) {
    std::string nonce = MakeNonce();
    ASSERT_EQ(nonce.size(), 24u);
    ASSERT_EQ(nonce.substr(22), "==");
    for (char c : nonce.substr(0, 22)) {
      ASSERT_TRUE(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/') << nonce;
    }
    // 16 bytes leave the last Base64 digit with only its top two bits used.
    ASSERT_NE(std::string("AQgw").find(nonce[21]), std::string::npos) << nonce;
    seen.insert(nonce);
  }
  EXPECT_EQ(seen.size(), 200000u);
}

TEST(NonceTest, TextAndBytesRoundTrip) {
  unsigned char bytes[kNonceBytes], back[kNonceBytes];
  for (int i = 0; i < 1000; ++i) {
    std::string nonce = MakeNonce();
    ASSERT_TRUE(NonceBytes(nonce, bytes)) << nonce;
    EXPECT_EQ(NonceText(bytes), nonce);
  }
  for (size_t i = 0; i < kNonceBytes; ++i) bytes[i] = static_cast<unsigned char>(i * 17);
  ASSERT_TRUE(NonceBytes(NonceText(bytes), back));
  EXPECT_EQ(std::string(bytes, bytes + kNonceBytes), std::string(back, back + kNonceBytes));
  for (const char* bad : {"", "abc", "AAAAAAAAAAAAAAAAAAAAAA=", "AAAAAAAAAAAAAAAAAAAAAAA=",
                          "AAAAAAAAAAAAAAAAAAAAAB==", "AAAAAAAAAAAAAAAAAAAA\nA=="}) {
    EXPECT_FALSE(NonceBytes(bad, back)) << bad;
  }
}

}  // namespace
