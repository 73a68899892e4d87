#include "common/config/password_hash.h"

#include <gtest/gtest.h>

#include "common/config/md5_hex.h"

namespace {

// The hash a browser's Digest answer is computed with: over the UTF-8 bytes typed. The old
// Shift-JIS hash of a Japanese name or password never matched a browser's answer.
TEST(PasswordHashTest, IsTheDigestHa1OfTheUtf8Bytes) {
  std::string hash;
  ASSERT_TRUE(PasswordHash("alice", "wonder", &hash));
  EXPECT_EQ(hash, MD5Hex("alice:secret:wonder"));
  EXPECT_EQ(hash.size(), 32u);

  ASSERT_TRUE(PasswordHash("はなこ", "パスワード", &hash));
  EXPECT_EQ(hash, MD5Hex("\xE3\x81\xAF\xE3\x81\xAA\xE3\x81\x93:secret:"
                         "\xE3\x83\x91\xE3\x82\xB9\xE3\x83\xAF\xE3\x83\xBC\xE3\x83\x89"));
  EXPECT_NE(hash, MD5Hex("\x82\xCD\x82\xC8\x82\xB1:secret:"
                         "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68"));  // the old Shift-JIS rule
  // A name without a Shift-JIS form gets a hash too.
  EXPECT_TRUE(PasswordHash("\xF0\x9F\x98\x80", "pw", &hash));
}

TEST(PasswordHashTest, EmptyPasswordKeepsTheSecondColon) {
  std::string hash;
  ASSERT_TRUE(PasswordHash("bob", "", &hash));
  EXPECT_EQ(hash, MD5Hex("bob:secret:"));
}

TEST(PasswordHashTest, RefusesTextThatIsNotUtf8) {
  std::string hash = "untouched";
  EXPECT_FALSE(PasswordHash("\x94\x4C", "pw", &hash));  // Shift-JIS bytes
  EXPECT_FALSE(PasswordHash("bob", "\xFF", &hash));
  EXPECT_EQ(hash, "untouched");
}

}  // namespace
