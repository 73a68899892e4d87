#include "server/net/digest_nonce.h"

#include <gtest/gtest.h>

#include "server/net/nonce.h"

namespace {

using Use = DigestNonces::Use;

TEST(DigestNoncesTest, OnlyOwnFreshNoncesCount) {
  DigestNonces nonces(1000, 100);
  std::string nonce = nonces.Issue(5000);
  EXPECT_EQ(nonce.size(), 24u);
  EXPECT_NE(nonces.Issue(5001), nonce);
  EXPECT_EQ(nonces.Record(nonce, 1, 5999), Use::kAccepted);
  EXPECT_EQ(nonces.Record(nonces.Issue(5000), 1, 6000), Use::kStale);  // expired
  EXPECT_EQ(nonces.Record(MakeNonce(), 1, 5000), Use::kStale);         // made up
  EXPECT_EQ(nonces.Record("x\ny", 1, 5000), Use::kStale);
  // Another process's nonces carry another MAC.
  DigestNonces other(1000, 100);
  EXPECT_EQ(nonces.Record(other.Issue(5000), 1, 5000), Use::kStale);
  // One changed bit of the time stamp breaks the MAC.
  unsigned char bytes[kNonceBytes];
  std::string fresh = nonces.Issue(5000);
  ASSERT_TRUE(NonceBytes(fresh, bytes));
  bytes[5] ^= 1;
  EXPECT_EQ(nonces.Record(NonceText(bytes), 1, 5000), Use::kStale);
  EXPECT_EQ(nonces.Record(fresh, 1, 5000), Use::kAccepted);
}

TEST(DigestNoncesTest, EachCountOnceInAnyOrder) {
  DigestNonces nonces(60000, 100);
  std::string nonce = nonces.Issue(0);
  // A browser's parallel requests arrive out of order.
  for (uint32_t nc : {3u, 1u, 2u, 70u, 10u, 69u}) {
    EXPECT_EQ(nonces.Record(nonce, nc, 1), Use::kAccepted) << nc;
  }
  for (uint32_t nc : {3u, 1u, 2u, 70u, 10u, 69u, 0u}) {
    EXPECT_EQ(nonces.Record(nonce, nc, 1), Use::kStale) << nc;
  }
  // Counts more than 64 below the highest can no longer be told apart from replays.
  EXPECT_EQ(nonces.Record(nonce, 6, 1), Use::kAccepted);
  EXPECT_EQ(nonces.Record(nonce, 5, 1), Use::kStale);
  EXPECT_EQ(nonces.Record(nonce, 200, 1), Use::kAccepted);
  EXPECT_EQ(nonces.Record(nonce, 70, 1), Use::kStale);
  EXPECT_EQ(nonces.Record(nonce, 199, 1), Use::kAccepted);
}

TEST(DigestNoncesTest, ForgottenNoncesAreStale) {
  DigestNonces nonces(60000, 2);
  std::string first = nonces.Issue(1), second = nonces.Issue(2), third = nonces.Issue(3);
  std::string unused = nonces.Issue(4);
  EXPECT_EQ(nonces.Record(first, 1, 10), Use::kAccepted);
  EXPECT_EQ(nonces.Record(second, 1, 10), Use::kAccepted);
  EXPECT_EQ(nonces.Record(third, 1, 10), Use::kAccepted);  // the oldest, `first`, goes
  EXPECT_EQ(nonces.Record(first, 2, 10), Use::kStale);
  EXPECT_EQ(nonces.Record(first, 1, 10), Use::kStale);
  EXPECT_EQ(nonces.Record(third, 2, 10), Use::kAccepted);
  EXPECT_EQ(nonces.Record(unused, 1, 10), Use::kAccepted);  // `second` goes
  EXPECT_EQ(nonces.Record(second, 1, 10), Use::kStale);
}

}  // namespace
