#include "common/config/config_number.h"

#include <limits>

namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of `c` as a digit, or a value >= every base when it is none.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A' + 10);
  return 36;
}

// Skips the blanks and the sign; returns whether the sign was a minus.
bool TakeSign(std::string_view* text) {
  size_t i = 0;
  while (i < text->size() && IsBlank((*text)[i])) ++i;
  bool negative = false;
  if (i < text->size() && ((*text)[i] == '+' || (*text)[i] == '-')) {
    negative = (*text)[i] == '-';
    ++i;
  }
  text->remove_prefix(i);
  return negative;
}

// Reads digits of `base`, saturating at `limit`.
uint64_t TakeDigits(std::string_view text, unsigned base, uint64_t limit) {
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit = DigitValue(c);
    if (digit >= base) break;
    value = value * base + digit;
    if (value > limit) return limit + 1;
  }
  return value;
}

// Takes a "0x" prefix off `text`; the base its digits are in.
unsigned TakeBase(std::string_view* text) {
  if (text->size() >= 2 && (*text)[0] == '0' && ((*text)[1] == 'x' || (*text)[1] == 'X') &&
      DigitValue(text->size() > 2 ? (*text)[2] : ' ') < 16) {
    text->remove_prefix(2);
    return 16;
  }
  return !text->empty() && (*text)[0] == '0' ? 8 : 10;
}

}  // namespace

uint32_t ParseConfigUnsigned(std::string_view text) {
  bool negative = TakeSign(&text);
  const unsigned base = TakeBase(&text);
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  uint64_t value = TakeDigits(text, base, kMax);
  if (value > kMax) return static_cast<uint32_t>(kMax);
  uint32_t result = static_cast<uint32_t>(value);
  return negative ? 0u - result : result;
}

int32_t ParseConfigSigned(std::string_view text) {
  bool negative = TakeSign(&text);
  // One more than INT32_MAX is the magnitude of INT32_MIN.
  constexpr uint64_t kLimit = uint64_t{1} << 31;
  uint64_t magnitude = TakeDigits(text, 10, kLimit);
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                               : -static_cast<int32_t>(magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

bool ConfigNumberWithin(std::string_view text, uint32_t max) {
  if (TakeSign(&text)) return false;
  const unsigned base = TakeBase(&text);
  if (text.empty() || DigitValue(text[0]) >= base) return false;
  return TakeDigits(text, base, max) <= max;
}
