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

}  // namespace
