#include "common/config/password_hash.h"

#include <gtest/gtest.h>

#include "common/config/md5_hex.h"

namespace {

TEST(PasswordHashTest, IsTheDigestHa1OfTheShiftJisBytes) {
  std::string hash;
  ASSERT_TRUE(PasswordHash("alice", "wonder", &hash));
  EXPECT_EQ(hash, MD5Hex("alice:secret:wonder"));
  EXPECT_EQ(hash.size(), 32u);

  // "猫" is 94 4C in Shift-JIS; the hash is over those bytes, not the UTF-8 ones.
  ASSERT_TRUE(PasswordHash("猫", "ねこ", &hash));
  EXPECT_EQ(hash, MD5Hex("\x94\x4C:secret:\x82\xCB\x82\xB1"));
}

TEST(PasswordHashTest, EmptyPasswordKeepsTheSecondColon) {
  std::string hash;
  ASSERT_TRUE(PasswordHash("bob", "", &hash));
  EXPECT_EQ(hash, MD5Hex("bob:secret:"));
}

TEST(PasswordHashTest, RefusesTextWithoutAShiftJisForm) {
  std::string hash = "untouched";
  EXPECT_FALSE(PasswordHash("\xF0\x9F\x98\x80", "pw", &hash));  // an emoji name
  EXPECT_FALSE(PasswordHash("bob", "\xF0\x9F\x98\x80", &hash));
  EXPECT_EQ(hash, "untouched");
}

}  // namespace
