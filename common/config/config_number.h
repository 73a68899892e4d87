// Numbers in configuration values. Internal to lv_config.
#pragma once

#include <cstdint>
#include <string_view>

// An unsigned 32-bit C integer with automatic base: leading blanks skipped, an optional sign,
// "0x"/"0X" for hexadecimal, a leading "0" for octal, else decimal; reading stops at the first
// character that is not a digit of the base, and text without digits gives 0. A value beyond
// 32 bits gives 0xFFFFFFFF; a minus sign negates modulo 2^32. 16-bit fields keep the low bits.
uint32_t ParseConfigUnsigned(std::string_view text);

// A signed 32-bit decimal: leading blanks, an optional sign, digits up to the first other
// character; text without digits gives 0 and values beyond the range are clamped to it.
int32_t ParseConfigSigned(std::string_view text);

// Whether `text`, read as ParseConfigUnsigned reads it, is a number from 0 to `max`: it has
// digits, no minus sign, and its value is not above `max`.
bool ConfigNumberWithin(std::string_view text, uint32_t max);
