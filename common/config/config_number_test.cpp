#include "common/config/config_number.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigNumberTest, UnsignedWithAutomaticBase) {
  struct Case {
    const char* text;
    uint32_t value;
  };
  const Case cases[] = {
      {"8080", 8080},
      {"0x50", 80},
      {"0X1f", 31},
      {"010", 8},
      {"09", 0},  // octal stops at 9
      {"0", 0},
      {"", 0},
      {"abc", 0},
      {"0x", 0},
      {"0xg", 0},
      {"  \t\n42", 42},
      {"+7", 7},
      {"12abc", 12},
      {"1 2", 1},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},  // out of range saturates
      {"99999999999999999999999", 4294967295u},
      {"-1", 4294967295u},  // negated modulo 2^32
      {"- 1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseConfigUnsigned(c.text), c.value) << c.text;
}

TEST(ConfigNumberTest, SixteenBitFieldsKeepTheLowBits) {
  EXPECT_EQ(static_cast<uint16_t>(ParseConfigUnsigned("70000")), 4464);
  EXPECT_EQ(static_cast<uint16_t>(ParseConfigUnsigned("65535")), 65535);
  EXPECT_EQ(static_cast<uint16_t>(ParseConfigUnsigned("65536")), 0);
}

TEST(ConfigNumberTest, SignedDecimal) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"1", 1},
      {"0", 0},
      {"", 0},
      {" -5x", -5},
      {"+12", 12},
      {"010", 10},  // always decimal
      {"0x10", 0},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseConfigSigned(c.text), c.value) << c.text;
}

}  // namespace
